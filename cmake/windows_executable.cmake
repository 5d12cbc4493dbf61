# Velto.exe: the system's code against the real Windows API, with its
# resources, importing only system DLLs.
enable_language(RC)
add_executable(Velto WIN32 src/app/win_main.cpp)
if(EXISTS ${PROJECT_SOURCE_DIR}/res/Velto.rc)
  target_sources(Velto PRIVATE res/Velto.rc)
  # windres reads these beside the script; rebuild when they change.
  set_source_files_properties(res/Velto.rc PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/res/Velto.manifest;${PROJECT_SOURCE_DIR}/res/Velto.ico")
endif()
set_target_properties(Velto PROPERTIES OUTPUT_NAME Velto)
target_link_options(Velto PRIVATE -municode -mwindows -static-libgcc -static-libstdc++ -static)
# The import libraries follow the system's own libraries on the link line.
target_link_libraries(velto_system INTERFACE winhttp bcrypt wintrust crypt32 user32)
target_link_libraries(Velto PRIVATE velto_system)
