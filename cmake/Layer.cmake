# A layer is a static library made of every .cpp in its folder (and its OS backend folder, for platform).
function(varnhold_layer name)
    cmake_parse_arguments(L "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${name} PUBLIC ${L_DEPS})
    set_target_warnings(${name})
endfunction()
