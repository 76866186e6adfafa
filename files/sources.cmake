# files/'s sources; none is pure, all of them call the system.
set(files_sources held_folder.cpp program_folder.cpp)
