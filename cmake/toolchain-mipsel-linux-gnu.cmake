# Cross build for the board: 32-bit little-endian MIPS, Linux, glibc.
#
# Compiler: Debian's g++-mipsel-linux-gnu (its C library lives in /usr/mipsel-linux-gnu).
# Target libraries: libbz2 and libi2c are not part of the cross compiler; scripts/mipsel-sysroot.sh
# unpacks Debian's mipsel packages of them into a folder (default <build>/sysroot). Point
# OKT_MIPSEL_SYSROOT at another folder with -DOKT_MIPSEL_SYSROOT=... if needed.
#
#   scripts/mipsel-sysroot.sh build-mipsel
#   cmake -S . -B build-mipsel -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mipsel-linux-gnu.cmake \
#         -DOKT_BUILD_TESTS=OFF -DOKT_BUILD_BENCH=OFF
#   cmake --install build-mipsel --prefix /tmp/okt --strip
#
# The shipped programs are linked statically here unless -DOKT_STATIC_PROGRAMS=OFF is given (see
# cmake/ShippedPrograms.cmake): the board's own libraries are of another generation.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(CMAKE_LIBRARY_ARCHITECTURE mipsel-linux-gnu)

set(OKT_CROSS_TRIPLET mipsel-linux-gnu)
set(OKT_STATIC_PROGRAMS ON CACHE BOOL "Link the shipped programs statically")
# Debian's name of the target architecture, for the package (cmake/Packaging.cmake).
set(OKT_DEBIAN_ARCHITECTURE mipsel)
set(CMAKE_C_COMPILER ${OKT_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${OKT_CROSS_TRIPLET}-g++)
# Absolute paths so that `cmake --install --strip` never falls back to the host's tools.
find_program(OKT_CROSS_STRIP ${OKT_CROSS_TRIPLET}-strip REQUIRED)
find_program(OKT_CROSS_AR ${OKT_CROSS_TRIPLET}-ar REQUIRED)
find_program(OKT_CROSS_RANLIB ${OKT_CROSS_TRIPLET}-ranlib REQUIRED)
set(CMAKE_STRIP ${OKT_CROSS_STRIP} CACHE FILEPATH "Strip for the target's binaries" FORCE)
set(CMAKE_AR ${OKT_CROSS_AR} CACHE FILEPATH "Archiver for the target's objects" FORCE)
set(CMAKE_RANLIB ${OKT_CROSS_RANLIB} CACHE FILEPATH "Ranlib for the target's archives" FORCE)

# The toolchain file is read again for every try_compile, in another binary folder: carry the
# sysroot's location over instead of deriving it anew there.
if(NOT OKT_MIPSEL_SYSROOT)
    if(DEFINED ENV{OKT_MIPSEL_SYSROOT})
        set(OKT_MIPSEL_SYSROOT $ENV{OKT_MIPSEL_SYSROOT})
    else()
        set(OKT_MIPSEL_SYSROOT ${CMAKE_BINARY_DIR}/sysroot)
    endif()
endif()
set(OKT_MIPSEL_SYSROOT ${OKT_MIPSEL_SYSROOT} CACHE PATH "Unpacked mipsel -dev packages (libbz2, libi2c)")
set(ENV{OKT_MIPSEL_SYSROOT} ${OKT_MIPSEL_SYSROOT})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OKT_MIPSEL_SYSROOT)

# Libraries and headers come only from the target's folders; programs (code generators, tools)
# from the host.
set(CMAKE_FIND_ROOT_PATH ${OKT_MIPSEL_SYSROOT} /usr/${OKT_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Code that includes <i2c/smbus.h> or <bzlib.h> without a find module still sees the sysroot's
# headers; the linker resolves the libraries' own dependencies there as well.
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES ${OKT_MIPSEL_SYSROOT}/usr/include)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${OKT_MIPSEL_SYSROOT}/usr/include)
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT
        "-L${OKT_MIPSEL_SYSROOT}/usr/lib/${OKT_CROSS_TRIPLET} -Wl,-rpath-link,${OKT_MIPSEL_SYSROOT}/lib/${OKT_CROSS_TRIPLET}")
endforeach()

# Programs of this build cannot run on the host; qemu-mipsel with the merged runtime folder
# (see scripts/mipsel-sysroot.sh) can.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR};-L;${OKT_MIPSEL_SYSROOT})
