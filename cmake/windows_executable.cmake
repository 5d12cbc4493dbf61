# Velto.exe: the system's code against the real Windows API, with its
# resources. Its import table names only DLLs that Windows always takes
# from the system folder (KnownDLLs and ntdll); the components that Windows
# would look for beside the executable first are delay-loaded and bound
# only after the run has restricted the DLL search to the system folder
# (src/app/system_libraries.cpp).
enable_language(RC)
add_executable(Velto WIN32 src/app/win_main.cpp src/app/delay_load_failure.cpp res/Velto.rc)
# The application manifest carries the project's version; windres reads it
# and the version header from the generated folder, the icon beside the
# script. Rebuild the resources when any of them changes.
configure_file(${PROJECT_SOURCE_DIR}/res/Velto.manifest.in ${CMAKE_BINARY_DIR}/generated/Velto.manifest @ONLY)
target_include_directories(Velto PRIVATE ${CMAKE_BINARY_DIR}/generated)
set_source_files_properties(res/Velto.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_BINARY_DIR}/generated/Velto.manifest;${CMAKE_BINARY_DIR}/generated/velto_version.h;${PROJECT_SOURCE_DIR}/res/Velto.ico")
set_target_properties(Velto PROPERTIES OUTPUT_NAME Velto)
target_link_options(Velto PRIVATE -municode -mwindows -static-libgcc -static-libstdc++ -static)
# Delay-import libraries made from the lists of the functions the system
# calls (cmake/delay_load/*.def); a call missing from a list fails the link.
find_program(VELTO_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
set(velto_delay_libraries)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delay_load)
foreach(component winhttp bcrypt wintrust crypt32)
  set(definition ${PROJECT_SOURCE_DIR}/cmake/delay_load/${component}.def)
  set(library ${CMAKE_BINARY_DIR}/delay_load/lib${component}_delay.a)
  # Run in the output folder with a bare output name: dlltool names the
  # library's symbols after that name, which must not carry the build path.
  add_custom_command(OUTPUT ${library}
    COMMAND ${VELTO_DLLTOOL} --input-def ${definition} --output-delaylib lib${component}_delay.a
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/delay_load
    DEPENDS ${definition} VERBATIM)
  list(APPEND velto_delay_libraries ${library})
endforeach()
add_custom_target(velto_delay_libraries DEPENDS ${velto_delay_libraries})
add_dependencies(Velto velto_delay_libraries)
# The import libraries follow the system's own libraries on the link line.
target_link_libraries(velto_system INTERFACE ${velto_delay_libraries} user32 advapi32 ntdll)
target_link_libraries(Velto PRIVATE velto_system)
include(${CMAKE_CURRENT_LIST_DIR}/reproducible_build.cmake)
