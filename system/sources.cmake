# system/'s sources; none is pure, all of them call the system.
set(system_sources loading.cpp)
