# skin/'s sources, for its library and for the build machine's tests and
# fuzz targets: the pure ones need neither Windows nor GDI+.
set(skin_pure_sources blend.cpp png_reader.cpp pack_reader.cpp)
set(skin_sources ${skin_pure_sources} image_record.cpp view.cpp text_objects.cpp
                 back_buffer.cpp painting.cpp skin_pack.cpp)
