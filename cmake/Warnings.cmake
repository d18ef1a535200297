# Project-wide warning set; -Werror only when asked for (CI asks).
function(set_target_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wpedantic)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # In a batch of sources GCC takes every file but the batch's own for a header, and then warns about a class
        # that holds a type from its .cpp file's anonymous namespace: a warning that the same code alone never gets.
        target_compile_options(${target} PRIVATE $<$<BOOL:$<TARGET_PROPERTY:UNITY_BUILD>>:-Wno-subobject-linkage>)
    endif()
    if(MINGW AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 12.3)
        # GCC 12.2's optimiser sees overlapping copies in std::string's operator+ that cannot happen (GCC bug
        # 105651), and only in the mingw build: a false alarm that -Werror would make a failed build.
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(VARNHOLD_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
