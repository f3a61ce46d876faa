# Run by cpack (the External generator, cmake/Packaging.cmake) once the package's tree is staged:
# makes <CPACK_PACKAGE_FILE_NAME>.tar.gz with GNU tar and gzip and <CPACK_PACKAGE_FILE_NAME>.deb
# with dpkg-deb from that tree. CPack's own archive writer stores a hard link as a second copy of
# its file; these tools keep the board program's names as hard links to one file.
#
# The same tree gives the same bytes: every entry has the time SOURCE_DATE_EPOCH (set for cpack
# by the build), owner and group root, modes 0755 or 0644, entries sorted by name; gzip leaves out
# the name and time; xz runs in one thread (the threaded encoder writes other bytes).

set(tree ${CPACK_TEMPORARY_DIRECTORY})
set(out ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME})
set(epoch $ENV{SOURCE_DATE_EPOCH})
if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH='${epoch}' is no number of seconds")
endif()
if(NOT IS_DIRECTORY ${tree}/usr)
    message(FATAL_ERROR "nothing staged under ${tree}/usr")
endif()

# run(what COMMAND ...): execute_process that fails the packaging when the command fails.
function(run what)
    execute_process(${ARGN} WORKING_DIRECTORY ${tree} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${what} failed: ${failed}")
    endif()
endfunction()

run("modes" COMMAND chmod -R u=rwX,go=rX usr)
run("times" COMMAND find usr -exec touch -h -d @${epoch} {} +)
file(REMOVE ${out}.tar.gz ${out}.deb)
run("tar" COMMAND tar --create --file=- --format=gnu --sort=name --owner=root:0 --group=root:0
                      --mtime=@${epoch} usr
          COMMAND gzip -9 -n OUTPUT_FILE ${out}.tar.gz)

# Installed-Size as dpkg-gencontrol counts it: each file (a hard-linked one once) and symbolic
# link in KiB rounded up, one for every other entry.
# (No semicolon in the awk program: run() would split the argument there.)
run("size" COMMAND find usr -printf "%y %i %s\\n"
           COMMAND awk [[$1 == "f" && seen[$2]++ { next }
                         $1 == "f" || $1 == "l" { kib += int(($3 + 1023) / 1024)
                                                  next }
                         { kib += 1 }
                         END { print kib }]]
           OUTPUT_FILE ${CPACK_TOPLEVEL_DIRECTORY}/installed-size)
file(STRINGS ${CPACK_TOPLEVEL_DIRECTORY}/installed-size installed_size)

set(depends "")
if(CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
    # dpkg-shlibdeps wants a source package's debian/control beside it; an empty one does.
    set(work ${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps)
    file(MAKE_DIRECTORY ${work}/debian)
    file(TOUCH ${work}/debian/control)
    file(GLOB programs ${tree}/usr/bin/*)
    list(TRANSFORM programs PREPEND -e)
    execute_process(COMMAND dpkg-shlibdeps -O ${programs} WORKING_DIRECTORY ${work}
                    RESULT_VARIABLE failed OUTPUT_VARIABLE substvars ERROR_VARIABLE warnings)
    if(failed OR NOT substvars MATCHES "shlibs:Depends=([^\n]*)")
        message(FATAL_ERROR "dpkg-shlibdeps failed: ${failed}\n${warnings}")
    endif()
    set(depends "Depends: ${CMAKE_MATCH_1}\n")
endif()

string(REGEX REPLACE "\n\n" "\n.\n" description "${CPACK_PACKAGE_DESCRIPTION}")
string(REGEX REPLACE "\n" "\n " description " ${description}")
file(MAKE_DIRECTORY ${tree}/DEBIAN)
file(WRITE ${tree}/DEBIAN/control
    "Package: ${CPACK_PACKAGE_NAME}\n"
    "Version: ${CPACK_PACKAGE_VERSION}\n"
    "Architecture: ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}\n"
    "Maintainer: ${CPACK_PACKAGE_CONTACT}\n"
    "Installed-Size: ${installed_size}\n"
    "${depends}"
    "Section: ${CPACK_DEBIAN_PACKAGE_SECTION}\n"
    "Priority: ${CPACK_DEBIAN_PACKAGE_PRIORITY}\n"
    "Description: ${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n"
    "${description}\n")
run("control modes" COMMAND chmod -R u=rwX,go=rX DEBIAN)
run("control times" COMMAND find DEBIAN -exec touch -h -d @${epoch} {} +)
run("dpkg-deb" COMMAND dpkg-deb --root-owner-group -Z${CPACK_DEBIAN_COMPRESSION_TYPE}
                       --threads-max=1 --build ${tree} ${out}.deb)

set(CPACK_EXTERNAL_BUILT_PACKAGES ${out}.deb ${out}.tar.gz)
