# The package of the shipped programs, made by `cpack` in the build folder:
#   okt32-service-tools_<version>_<arch>.deb     for dpkg, compressed with xz
#   okt32-service-tools_<version>_<arch>.tar.gz  the same tree for machines without dpkg: entries
#                                                start at usr/ (usr/bin/avr-fwupdate, ...)
# <arch> is Debian's name of the target: the toolchain file sets it for a cross build, dpkg tells it
# for a native one. With OKT_STATIC_PROGRAMS the programs are one file under several names (hard
# links) and need nothing, so the package has no Depends; a dynamic native build's package depends
# on the libraries dpkg-shlibdeps finds.
#
# CPack stages the installed tree; cmake/PackageArchives.cmake makes both archives from it with
# tar, gzip and dpkg-deb, which keep hard links (CPack's own writer would store copies). Two
# builds of the same sources give the same archives: their times are SOURCE_DATE_EPOCH, the
# build's (cmake/SourceDateEpoch.cmake) unless the caller of cpack sets one.

# A dynamic cross build exists only for the tests under emulation: its programs would need libraries
# the board may lack, so it offers no package.
if(CMAKE_CROSSCOMPILING AND NOT OKT_STATIC_PROGRAMS)
    return()
endif()

# The changelog's newest entry names the one package version.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog okt_changelog_head LIMIT_COUNT 1)
string(FIND "${okt_changelog_head}" "${PROJECT_NAME} (${PROJECT_VERSION}) " okt_at)
if(NOT okt_at EQUAL 0)
    message(FATAL_ERROR "packaging/changelog begins with '${okt_changelog_head}', "
                        "not with version ${PROJECT_VERSION} of project()")
endif()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
okt_gzip_file(${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_INSTALL_DOCDIR})

if(NOT OKT_DEBIAN_ARCHITECTURE)
    find_program(OKT_DPKG dpkg)
    if(OKT_DPKG)
        execute_process(COMMAND ${OKT_DPKG} --print-architecture
            OUTPUT_VARIABLE OKT_DEBIAN_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)
    else()
        set(OKT_DEBIAN_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
    endif()
endif()

set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/PackageArchives.cmake)
set(okt_cpack_config ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake)
file(CONFIGURE OUTPUT ${okt_cpack_config} CONTENT [[
# Written by cmake/Packaging.cmake: cpack's times are this build's SOURCE_DATE_EPOCH unless the
# caller gives one.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(ENV{SOURCE_DATE_EPOCH} @OKT_SOURCE_DATE_EPOCH@)
endif()
]] @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${okt_cpack_config})
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}_${PROJECT_VERSION}_${OKT_DEBIAN_ARCHITECTURE})
set(CPACK_PACKAGE_CONTACT "OKT32 developer <dev@okt32.local>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "OKT32 service tools: AVR firmware update and ID-EEPROM editing on the board")
set(CPACK_PACKAGE_DESCRIPTION
    "avr-fwupdate updates the firmware of the baseboard's AVR microcontroller from Intel HEX or
PACK files over a serial port and builds PACK files; avr-fwinfo tells what such a file holds
before flashing it; okt-eepromtool reads and edits the identification EEPROMs of the CPU
module, the motherboard and the extension modules over the I2C buses; okt-idrec makes, shows,
reads and writes their records as data for scripts, with checked fields, guarded writes and
JSON reports.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Both generators lay out the same tree under usr/, with no folder of the package's own name above.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

set(CPACK_DEBIAN_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${OKT_DEBIAN_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
if(NOT OKT_STATIC_PROGRAMS AND NOT CMAKE_CROSSCOMPILING)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
