# monitor/'s sources but the program's own; the pure ones need no Windows.
set(monitor_pure_sources button_logic.cpp reading_texts.cpp)
set(monitor_sources ${monitor_pure_sources} app_state.cpp face.cpp notices.cpp reading_views.cpp
                    repaint.cpp window_procedure.cpp buttons.cpp tray.cpp)
