# velto: the system's code on the real Linux layer, nothing faked. Its
# Windows twin, Velto.exe, is defined in windows_executable.cmake.
add_executable(velto src/app/win_main.cpp src/platform/linux/crt/main_entry.cpp)
target_link_libraries(velto PRIVATE velto_system velto_layer)
