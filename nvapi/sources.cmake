# nvapi/'s sources: the wrappers both programs share and, in a program's
# tree, that program's loader (Parlex's on the 32-bit side, Tessig's on the
# 64-bit side). None is pure.
set(nvapi_sources binding.cpp image_identity.cpp system_calls.cpp)
if(PARLEX_SIDE STREQUAL "win32")
    list(APPEND nvapi_sources loader_monitor.cpp)
elseif(PARLEX_SIDE STREQUAL "win64")
    list(APPEND nvapi_sources loader_logger.cpp)
endif()
