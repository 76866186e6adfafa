# The product folders stand in layers (scripts/check-structure.py names
# them), one library each. A library's headers are reached through a view of
# its own folder in the build tree, layers/<folder>/<folder>, a link to the
# folder: a library sees its own folder and those of the libraries it links,
# and an include of any other folder fails when it is built.
function(parlex_layer target folder)
    set(view ${CMAKE_BINARY_DIR}/layers/${folder})
    if(NOT EXISTS ${view}/${folder})
        file(MAKE_DIRECTORY ${view})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC ${view})
endfunction()
