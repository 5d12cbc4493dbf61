# velto: the system's code on the real Linux layer, nothing faked. Its
# Windows twin, Velto.exe, is defined in windows_executable.cmake.
add_executable(velto src/app/win_main.cpp src/platform/linux/main_entry.cpp)
target_link_libraries(velto PRIVATE velto_system
  velto_layer_winhttp velto_layer_wintrust velto_layer_bcrypt velto_layer_user32
  velto_layer_ntdll velto_layer_advapi32 velto_layer_crt velto_layer_kernel32)
