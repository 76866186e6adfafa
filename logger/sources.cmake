# logger/'s sources but its entry; the pure ones need no Windows.
set(logger_pure_sources stop_word.cpp report_format.cpp startup_rules.cpp)
set(logger_sources ${logger_pure_sources} history_file.cpp init.cpp report.cpp console.cpp)
