# Cross build with MinGW-w64's -posix compilers for the target triplet in
# PARLEX_TARGET: i686-w64-mingw32 for the 32-bit side (Parlex, nvapi.dll,
# 32-bit tests), x86_64-w64-mingw32 for the 64-bit side (Tessig,
# nvapi64.dll, nvml.dll, 64-bit tests).
set(PARLEX_TARGET "${PARLEX_TARGET}" CACHE STRING "MinGW-w64 target triplet")
if(NOT PARLEX_TARGET MATCHES "^(i686|x86_64)-w64-mingw32$")
    message(FATAL_ERROR "PARLEX_TARGET must be i686-w64-mingw32 or x86_64-w64-mingw32, not '${PARLEX_TARGET}'")
endif()
# The test builds of the compiler checks read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PARLEX_TARGET)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${PARLEX_TARGET}")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PARLEX_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARLEX_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${PARLEX_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PARLEX_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
