# Project-wide warning set; -Werror only when asked for (CI asks).
function(set_target_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wpedantic)
    if(VARNHOLD_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
