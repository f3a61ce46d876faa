# The programs a user gets (avr-fwupdate, okt-eepromtool, avr-fwinfo, okt-idrec): how they are
# linked and installed. The simulators, the preload library and the tests are not shipped and
# keep the build's ordinary linking.
#
# With OKT_STATIC_PROGRAMS (the board's build) the shipped programs are one program,
# okt32-tools, installed under each of their names; it carries glibc, libstdc++, libgcc, libbz2
# and libi2c inside: no shared object, no program interpreter. Such a program starts on any board
# whose kernel this glibc supports, whatever C library the board has. The LD_PRELOAD i2c-dev
# emulation cannot reach a static program, so the emulated I2C tests run against a build with the
# option off.
option(OKT_STATIC_PROGRAMS
    "Link the shipped programs statically (glibc, libstdc++, libgcc, libbz2, libi2c)" OFF)

# okt_prefer_archive(variable name): with OKT_STATIC_PROGRAMS, caches the archive lib<name>.a as
# <variable>, the result of the find_library call (or find module) that would otherwise pick the
# shared object; every user of the library in this build then links the archive. A build switched
# back to dynamic looks again.
function(okt_prefer_archive variable name)
    if(OKT_STATIC_PROGRAMS)
        find_library(OKT_${name}_ARCHIVE NAMES lib${name}.a REQUIRED)
        set(${variable} ${OKT_${name}_ARCHIVE} CACHE FILEPATH "lib${name} of this build" FORCE)
    elseif("${${variable}}" MATCHES "\\.a$")
        unset(${variable} CACHE)
    endif()
endfunction()
okt_prefer_archive(BZIP2_LIBRARY_RELEASE bz2) # the BZip2 module's result
okt_prefer_archive(I2C_LIBRARY i2c)           # find_library(I2C_LIBRARY NAMES i2c ...)

# Gzipped man pages, made with -n so that equal pages give equal bytes (and equal packages).
find_program(OKT_GZIP gzip REQUIRED)
set(OKT_GZIP_DIR ${CMAKE_BINARY_DIR}/gz)

# okt_gzip_file(source destination): installs <source> gzipped into <destination>.
function(okt_gzip_file source destination)
    get_filename_component(name ${source} NAME)
    set(gz ${OKT_GZIP_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${gz}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${OKT_GZIP_DIR}
        COMMAND ${OKT_GZIP} -9 -n -c ${source} > ${gz}
        DEPENDS ${source}
        VERBATIM)
    string(MAKE_C_IDENTIFIER "gzip_${name}" target)
    add_custom_target(${target} ALL DEPENDS ${gz})
    install(FILES ${gz} DESTINATION ${destination})
endfunction()

# okt_check_man_page(page): every man page's header names the package version, in one style:
#   .TH NAME 1 "<month> <year>" "OKT32 service tools <version>" "OKT32 service tools"
function(okt_check_man_page page)
    file(STRINGS ${page} head LIMIT_COUNT 1)
    if(NOT head MATCHES "^\\.TH [A-Z-]+ 1 \"[A-Z][a-z]+ [0-9]+\" \"OKT32 service tools ${PROJECT_VERSION}\" \"OKT32 service tools\"$")
        message(FATAL_ERROR "${page} begins with '${head}', not with the header of version "
                            "${PROJECT_VERSION}: .TH NAME 1 \"<month> <year>\" "
                            "\"OKT32 service tools ${PROJECT_VERSION}\" \"OKT32 service tools\"")
    endif()
endfunction()

# The board's program is as small as its parts allow: every function and object in a section of
# its own, and the linker drops the sections nothing reaches (the static C library's unused parts
# and the MIPS procedure descriptors of dropped code among them).
if(OKT_STATIC_PROGRAMS)
    add_compile_options(-ffunction-sections -fdata-sections)
endif()

# Where the source and build folders lie leaves no trace in what is built, so that two builds in
# two places give the same bytes: __FILE__ names files relative to them, and so does the board
# build's debug information (the package's programs are stripped; the build folder's are not).
if(OKT_STATIC_PROGRAMS)
    set(okt_prefix_map -ffile-prefix-map)
else()
    set(okt_prefix_map -fmacro-prefix-map) # debuggers keep finding a native build's sources
endif()
add_compile_options(${okt_prefix_map}=${CMAKE_SOURCE_DIR}=. ${okt_prefix_map}=${CMAKE_BINARY_DIR}=.)

# okt_static_link(target): links <target> statically (with OKT_STATIC_PROGRAMS).
function(okt_static_link target)
    # Static glibc warns at link time about calls that would load shared objects after all
    # (NSS, dlopen, iconv); none may be in a shipped program.
    target_link_options(${target} PRIVATE -static -Wl,--fatal-warnings -Wl,--gc-sections)
endfunction()

# okt_shipped_program(target): a program a user gets, with its man page docs/<target>.1. A build
# with OKT_STATIC_PROGRAMS ships the one multi-call program under this name instead
# (okt_multicall_program): <target> itself is then built only when named (it is still linked as
# the board's programs are) and not installed. Other builds install it as it is.
function(okt_shipped_program target)
    okt_check_man_page(${CMAKE_SOURCE_DIR}/docs/${target}.1)
    okt_gzip_file(${CMAKE_SOURCE_DIR}/docs/${target}.1 ${CMAKE_INSTALL_MANDIR}/man1)
    set_property(GLOBAL APPEND PROPERTY OKT_SHIPPED_PROGRAMS ${target})
    if(OKT_STATIC_PROGRAMS)
        okt_static_link(${target})
        set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
    else()
        install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endfunction()

# okt_multicall_program(target): the program that acts as each shipped program named so far by
# the name it is started under. With OKT_STATIC_PROGRAMS it is linked statically and installed
# once: under the first shipped name (stripped when the install strips) and under the others as
# hard links to that file. Other builds neither link it statically nor install it.
function(okt_multicall_program target)
    if(NOT OKT_STATIC_PROGRAMS)
        return()
    endif()
    okt_static_link(${target})
    get_property(names GLOBAL PROPERTY OKT_SHIPPED_PROGRAMS)
    list(POP_FRONT names first)
    install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME ${first})
    # install(PROGRAMS) never strips; strip writes a new file, so it goes before the links.
    install(CODE "
        set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" \"\${bin}/${first}\" RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR \"${CMAKE_STRIP} \${bin}/${first}: \${failed}\")
            endif()
        endif()
        foreach(name ${names})
            message(STATUS \"Installing: \${bin}/\${name} (hard link to ${first})\")
            file(REMOVE \"\${bin}/\${name}\")
            file(CREATE_LINK \"\${bin}/${first}\" \"\${bin}/\${name}\")
        endforeach()
    ")
endfunction()
