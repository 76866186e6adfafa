# How the product folders are built, for the programs' trees and the build
# machine's sanitizer and fuzz builds alike.

# The one place of the language standard.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

# Reads cmake/layers.txt: PARLEX_LAYERS, the folders top down, and for each
# folder PARLEX_BELOW_<folder>, the folders right below it.
set(PARLEX_LAYER_LIST ${CMAKE_CURRENT_LIST_DIR}/layers.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PARLEX_LAYER_LIST})
file(STRINGS ${PARLEX_LAYER_LIST} parlex_layer_lines REGEX "^[a-z]")
set(PARLEX_LAYERS)
foreach(line IN LISTS parlex_layer_lines)
    string(REGEX REPLACE "[ \t]+" ";" words "${line}")
    list(POP_FRONT words folder)
    list(APPEND PARLEX_LAYERS ${folder})
    set(PARLEX_BELOW_${folder} ${words})
endforeach()

# A product folder's library, named after the folder and made of its
# sources.cmake's list (${folder}_sources), linking the folders below it. Its headers are reached through a view of its own
# folder in the build tree, layers/<folder>/<folder>, a link to the folder:
# a library sees its own folder and those of the libraries it links, and an
# include of any other folder fails when it is built.
function(parlex_layer folder)
    if(NOT folder IN_LIST PARLEX_LAYERS)
        message(FATAL_ERROR "${folder} is not in cmake/layers.txt")
    endif()
    include(${CMAKE_SOURCE_DIR}/${folder}/sources.cmake)
    add_library(${folder} STATIC ${${folder}_sources})
    set(view ${CMAKE_BINARY_DIR}/layers/${folder})
    if(NOT EXISTS ${view}/${folder})
        file(MAKE_DIRECTORY ${view})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
    target_include_directories(${folder} PUBLIC ${view})
    target_link_libraries(${folder} PUBLIC project_options ${PARLEX_BELOW_${folder}})
endfunction()
