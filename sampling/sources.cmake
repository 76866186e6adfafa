# sampling/'s sources; the pure ones need no Windows.
set(sampling_pure_sources display_texts.cpp)
set(sampling_sources ${sampling_pure_sources} gpu_readings.cpp sampling_thread.cpp display_update.cpp
                     logger_control.cpp)
