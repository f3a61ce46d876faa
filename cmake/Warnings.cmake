# Project-wide warning flags: every warning is an error.
set(OKT_WARNING_FLAGS -Wall -Wextra -Wshadow -Wcast-qual -Wwrite-strings -Werror)

function(okt_target_warnings target)
    target_compile_options(${target} PRIVATE ${OKT_WARNING_FLAGS})
endfunction()
