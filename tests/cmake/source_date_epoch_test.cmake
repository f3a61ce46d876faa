# cmake -DWORK=<folder> -P source_date_epoch_test.cmake: the changelog's date as seconds, the
# build stamp in the compiler's __DATE__ " " __TIME__ form, and the caller's SOURCE_DATE_EPOCH
# taking precedence. Any mismatch fails the run; every case runs so that one run shows them all.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/SourceDateEpoch.cmake)

set(failures 0)
macro(expect what got wanted)
    if(NOT "${got}" STREQUAL "${wanted}")
        message(SEND_ERROR "${what}: got '${got}', wanted '${wanted}'")
        math(EXPR failures "${failures} + 1")
    endif()
endmacro()

# changelog(name date...): a changelog file with one entry per date, the newest first.
function(changelog name)
    set(text "")
    foreach(date IN LISTS ARGN)
        string(APPEND text "okt32-service-tools (1.0) unstable; urgency=medium\n\n  * A change.\n\n"
                           " -- OKT32 developer <dev@okt32.local>  ${date}\n\n")
    endforeach()
    file(WRITE ${WORK}/${name} "${text}")
endfunction()

# Trailer dates and their seconds (as `date -u -d DATE +%s` gives them).
set(dates
    "Fri, 11 Dec 2026 12:00:00 +0000=1796990400"
    "Fri, 11 Dec 2026 13:30:00 +0130=1796990400"  # east of UTC
    "Thu, 10 Dec 2026 19:00:00 -0500=1796947200"  # west of UTC, the next day in UTC
    "Mon, 29 Feb 2016 00:00:00 +0000=1456704000"  # a leap day
    "Sat, 31 Jan 2026 23:59:59 +0000=1769903999"  # January and February count in the year before
    "Wed, 1 Mar 2000 08:09:07 +0000=951898147"    # one-digit day; a century's leap year
    "Thu, 01 Jan 1970 00:00:00 +0000=0")
foreach(entry IN LISTS dates)
    string(REGEX MATCH "^(.*)=([0-9]+)$" _ "${entry}")
    set(date ${CMAKE_MATCH_1})
    set(seconds ${CMAKE_MATCH_2})
    changelog(one ${date})
    okt_changelog_epoch(${WORK}/one got)
    expect("${date}" "${got}" "${seconds}")
endforeach()

# Only the newest entry counts.
changelog(two "Fri, 11 Dec 2026 12:00:00 +0000" "Thu, 10 Dec 2026 13:00:00 +0000")
okt_changelog_epoch(${WORK}/two got)
expect("the first of two entries" "${got}" 1796990400)

# Seconds and their stamps (as `date -u -d @SECONDS '+%b %e %Y %H:%M:%S'` gives them).
set(stamps
    "1796990400=Dec 11 2026 12:00:00"
    "1796126400=Dec  1 2026 12:00:00"  # the day padded with a blank, as in __DATE__
    "1835766307=Mar  4 2028 07:05:07"
    "951379200=Feb 24 2000 08:00:00"
    "0=Jan  1 1970 00:00:00")
foreach(entry IN LISTS stamps)
    string(REGEX MATCH "^([0-9]+)=(.*)$" _ "${entry}")
    set(seconds ${CMAKE_MATCH_1})
    set(stamp ${CMAKE_MATCH_2})
    okt_build_stamp(${seconds} got)
    expect("stamp of ${seconds}" "${got}" "${stamp}")
endforeach()

# The caller's value wins over the changelog; without one, the changelog gives it.
changelog(newest "Fri, 11 Dec 2026 12:00:00 +0000")
set(ENV{SOURCE_DATE_EPOCH} 1234567890)
okt_source_date_epoch(${WORK}/newest got)
expect("SOURCE_DATE_EPOCH set" "${got}" 1234567890)
okt_build_stamp(1 stamp)
expect("SOURCE_DATE_EPOCH after a stamp" "$ENV{SOURCE_DATE_EPOCH}" 1234567890)
unset(ENV{SOURCE_DATE_EPOCH})
okt_source_date_epoch(${WORK}/newest got)
expect("SOURCE_DATE_EPOCH unset" "${got}" 1796990400)
expect("SOURCE_DATE_EPOCH unset after" "$ENV{SOURCE_DATE_EPOCH}" "")

# Refusals, each in a CMake process of its own: the changelog or environment and the message.
file(WRITE ${WORK}/refuse.cmake "include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/SourceDateEpoch.cmake)\n"
                                "okt_source_date_epoch(\${CHANGELOG} seconds)\n")
changelog(no-zone "Fri, 11 Dec 2026 12:00:00")
file(WRITE ${WORK}/no-trailer "okt32-service-tools (1.0) unstable; urgency=medium\n\n  * A change.\n")
changelog(bad-month "Fri, 11 Dez 2026 12:00:00 +0000")
set(refusals
    "no-zone||no date in the form 'Fri, 11 Dec 2026 12:00:00 \\+0000'"
    "no-trailer||has no trailer line"
    "bad-month||no valid date"
    "newest|12abc|SOURCE_DATE_EPOCH='12abc' is no number of seconds"
    "newest|-5|SOURCE_DATE_EPOCH='-5' is no number of seconds")
foreach(entry IN LISTS refusals)
    string(REGEX MATCH "^([^|]*)\\|([^|]*)\\|(.*)$" _ "${entry}")
    set(file ${CMAKE_MATCH_1})
    set(value ${CMAKE_MATCH_2})
    set(message_re ${CMAKE_MATCH_3})
    execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${value}
                            ${CMAKE_COMMAND} -DCHANGELOG=${WORK}/${file} -P ${WORK}/refuse.cmake
                    RESULT_VARIABLE status ERROR_VARIABLE err OUTPUT_QUIET)
    string(REGEX REPLACE "[ \n]+" " " err "${err}") # CMake wraps its messages' lines
    if(status EQUAL 0 OR NOT err MATCHES "${message_re}")
        message(SEND_ERROR "${file} with SOURCE_DATE_EPOCH='${value}': status ${status}, "
                           "wanted a failure saying '${message_re}':\n${err}")
        math(EXPR failures "${failures} + 1")
    endif()
endforeach()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} case(s) failed")
endif()
