# sampling/'s sources; none is pure: each stands on the driver or the system.
set(sampling_pure_sources)
set(sampling_sources gpu_readings.cpp sampling_thread.cpp logger_control.cpp)
