# gpu/'s sources; none is pure, all of them call the binding.
set(gpu_sources discovery.cpp load_query.cpp nvml.cpp)
