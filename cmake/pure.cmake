# The pure rules of every folder (no window, no driver), as one library for
# the build machine's sanitizer and fuzz builds: each folder names its own
# pure sources in its sources.cmake, and the pack reader's header is made as
# skin's own build makes it. ROOT is the source tree.
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)

function(parlex_pure_library name)
    set(sources)
    foreach(folder IN LISTS PARLEX_LAYERS)
        include(${ROOT}/${folder}/sources.cmake)
        list(TRANSFORM ${folder}_pure_sources PREPEND ${ROOT}/${folder}/)
        list(APPEND sources ${${folder}_pure_sources})
    endforeach()
    set(header ${CMAKE_CURRENT_BINARY_DIR}/skin_pieces.h)
    add_custom_command(
        OUTPUT ${header}
        COMMAND /usr/bin/python3 ${ROOT}/scripts/make_skin_pack.py ${ROOT}/skin/art
                ${CMAKE_CURRENT_BINARY_DIR}/skin_pack.bin ${header}
        DEPENDS ${ROOT}/scripts/make_skin_pack.py ${ROOT}/skin/art/pieces.txt)
    add_library(${name} STATIC ${sources} ${header})
    target_include_directories(${name} PUBLIC ${ROOT} ${CMAKE_CURRENT_BINARY_DIR})
    target_link_libraries(${name} PUBLIC z)
endfunction()
