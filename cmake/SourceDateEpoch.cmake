# The one time of a build, so that two builds of the same sources give the same bytes:
# SOURCE_DATE_EPOCH (seconds since 1970-01-01 UTC) from the caller's environment when it is set
# there, else the date of the newest entry of packaging/changelog. Included by the top project,
# it sets
#   OKT_SOURCE_DATE_EPOCH  that value; SOURCE_DATE_EPOCH in the environment of the configure step
#                          (and of what it starts) is set to it too
#   OKT_BUILD_STAMP        the same time as the compiler's __DATE__ " " __TIME__ would write it,
#                          "Mmm dd yyyy hh:mm:ss" in UTC, the day padded with a blank
# The functions below also serve the tests of this file (cmake -P).

set(OKT_MONTH_NAMES Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)

# okt_changelog_epoch(changelog variable): the time of the first trailer line of a Debian
# changelog (" -- NAME <MAIL>  Fri, 11 Dec 2026 12:00:00 +0000") as seconds since the epoch.
# A changelog without a readable trailer line is a configure error.
function(okt_changelog_epoch changelog variable)
    file(STRINGS ${changelog} trailers REGEX "^ -- ")
    list(LENGTH trailers count)
    if(count EQUAL 0)
        message(FATAL_ERROR "${changelog} has no trailer line (' -- NAME <MAIL>  DATE')")
    endif()
    list(GET trailers 0 trailer)
    set(day_re "[A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9])")
    set(time_re "([0-2][0-9]):([0-5][0-9]):([0-5][0-9]) ([+-])([0-9][0-9])([0-9][0-9])")
    if(NOT trailer MATCHES ">  ${day_re} ${time_re}$")
        message(FATAL_ERROR "${changelog}: no date in the form 'Fri, 11 Dec 2026 12:00:00 +0000' "
                            "at the end of '${trailer}'")
    endif()
    # math() reads "08" as eight: the fields need no trimming.
    set(day ${CMAKE_MATCH_1})
    list(FIND OKT_MONTH_NAMES ${CMAKE_MATCH_2} month)
    set(year ${CMAKE_MATCH_3})
    set(clock "${CMAKE_MATCH_4} * 3600 + ${CMAKE_MATCH_5} * 60 + ${CMAKE_MATCH_6}")
    set(offset "${CMAKE_MATCH_7}(${CMAKE_MATCH_8} * 3600 + ${CMAKE_MATCH_9} * 60)")
    if(month LESS 0 OR day LESS 1 OR day GREATER 31)
        message(FATAL_ERROR "${changelog}: no valid date in '${trailer}'")
    endif()

    # Days since 1970-01-01 of a date in the proleptic Gregorian calendar, the year counted from
    # March so that the leap day ends it.
    math(EXPR month "${month} + 1")
    if(month LESS_EQUAL 2)
        math(EXPR year "${year} - 1")
        math(EXPR month_from_march "${month} + 9")
    else()
        math(EXPR month_from_march "${month} - 3")
    endif()
    math(EXPR era "${year} / 400")
    math(EXPR year_of_era "${year} - ${era} * 400")
    math(EXPR day_of_year "(153 * ${month_from_march} + 2) / 5 + ${day} - 1")
    math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
    math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
    math(EXPR epoch "${days} * 86400 + ${clock} - ${offset}")
    set(${variable} ${epoch} PARENT_SCOPE)
endfunction()

# okt_build_stamp(epoch variable): the time `epoch` in UTC as "Mmm dd yyyy hh:mm:ss", the form of
# __DATE__ " " __TIME__ ("Dec  1 2026 09:05:00").
function(okt_build_stamp epoch variable)
    # string(TIMESTAMP) takes SOURCE_DATE_EPOCH for "now"; the caller's value is put back after.
    set(saved "$ENV{SOURCE_DATE_EPOCH}")
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    string(TIMESTAMP parts "%m %d %Y %H:%M:%S" UTC)
    if(saved STREQUAL "")
        unset(ENV{SOURCE_DATE_EPOCH})
    else()
        set(ENV{SOURCE_DATE_EPOCH} "${saved}")
    endif()
    if(NOT parts MATCHES "^([0-9][0-9]) ([0-9][0-9]) (.*)$")
        message(FATAL_ERROR "SOURCE_DATE_EPOCH ${epoch} gives no date ('${parts}')")
    endif()
    math(EXPR month "${CMAKE_MATCH_1} - 1")
    set(year_and_time ${CMAKE_MATCH_3})
    string(REGEX REPLACE "^0" " " day ${CMAKE_MATCH_2})
    list(GET OKT_MONTH_NAMES ${month} month_name)
    set(${variable} "${month_name} ${day} ${year_and_time}" PARENT_SCOPE)
endfunction()

# okt_source_date_epoch(changelog variable): the caller's SOURCE_DATE_EPOCH when set, else the
# changelog's date.
function(okt_source_date_epoch changelog variable)
    if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
        if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
            message(FATAL_ERROR "SOURCE_DATE_EPOCH='$ENV{SOURCE_DATE_EPOCH}' is no number of seconds")
        endif()
        set(${variable} $ENV{SOURCE_DATE_EPOCH} PARENT_SCOPE)
    else()
        okt_changelog_epoch(${changelog} epoch)
        set(${variable} ${epoch} PARENT_SCOPE)
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
    return()
endif()

set(okt_changelog ${CMAKE_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${okt_changelog})
okt_source_date_epoch(${okt_changelog} OKT_SOURCE_DATE_EPOCH)
set(ENV{SOURCE_DATE_EPOCH} ${OKT_SOURCE_DATE_EPOCH})
okt_build_stamp(${OKT_SOURCE_DATE_EPOCH} OKT_BUILD_STAMP)
message(STATUS "SOURCE_DATE_EPOCH ${OKT_SOURCE_DATE_EPOCH} (${OKT_BUILD_STAMP} UTC)")
