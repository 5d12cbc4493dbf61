# The system's own code, one static library per step, so that each test
# links the real step it checks against the stand-ins of the steps around it.
function(velto_step name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

velto_step(velto_hex_text src/verify/hex_text.cpp)
velto_step(velto_windows_error_text src/base/windows_error_text.cpp)
velto_step(velto_manifest src/manifest/json_string.cpp src/manifest/utf8_to_wide.cpp)
velto_step(velto_release_manifest src/manifest/release_manifest.cpp)
target_link_libraries(velto_release_manifest PUBLIC velto_manifest velto_https_prefix velto_hex_text)
velto_step(velto_config_check src/app/config_check.cpp)
target_link_libraries(velto_config_check PUBLIC velto_https_prefix velto_hex_text)
velto_step(velto_https_prefix src/net/https_prefix.cpp)
velto_step(velto_byte_buffer src/base/byte_buffer.cpp)
velto_step(velto_download src/net/download_https.cpp)
target_link_libraries(velto_download PUBLIC velto_byte_buffer velto_https_prefix velto_windows_error_text)
target_include_directories(velto_download PRIVATE ${CMAKE_BINARY_DIR}/generated)
velto_step(velto_file_identity src/verify/file_identity.cpp)
velto_step(velto_staging src/verify/staging_file.cpp src/verify/staging_folder.cpp src/verify/staged_installer.cpp
  src/verify/staging_location.cpp src/verify/staging_removal.cpp src/verify/staging_leftovers.cpp)
target_link_libraries(velto_staging PUBLIC velto_byte_buffer velto_windows_error_text velto_file_identity
                      velto_hex_text)
velto_step(velto_digest src/verify/file_digest.cpp)
velto_step(velto_digest_match src/verify/digest_match.cpp)
target_link_libraries(velto_digest_match PUBLIC velto_hex_text)
velto_step(velto_signature src/verify/installer_signature.cpp)
target_link_libraries(velto_signature PUBLIC velto_hex_text)
velto_step(velto_launch src/app/installer_launch.cpp src/app/installer_environment.cpp)
target_link_libraries(velto_launch PUBLIC velto_windows_error_text velto_file_identity)
velto_step(velto_system_libraries src/app/system_libraries.cpp)
target_link_libraries(velto_system_libraries PUBLIC velto_windows_error_text)
velto_step(velto_release_verification src/app/release_verification.cpp)
target_link_libraries(velto_release_verification PUBLIC velto_release_manifest velto_config_check velto_staging
                      velto_digest velto_digest_match velto_signature velto_https_prefix velto_byte_buffer)
velto_step(velto_sequence src/app/bootstrap_sequence.cpp src/app/redirection_guard.cpp)
target_link_libraries(velto_sequence PUBLIC velto_release_verification velto_system_libraries velto_download
                      velto_launch)

velto_step(velto_config src/app/bootstrap_config.cpp)
target_include_directories(velto_config PRIVATE ${CMAKE_BINARY_DIR}/generated)

# Everything the executable runs: the configuration and the sequence, which
# name the steps they call, which name theirs; CMake puts each after its
# users on the link line.
add_library(velto_system INTERFACE)
target_link_libraries(velto_system INTERFACE velto_config velto_sequence)

# Off Windows, each step also names the stand-in components it calls, so
# that they follow it on the link line. A test's own fakes are linked first
# and take the place of the real operations of the same names.
if(NOT WIN32)
  target_link_libraries(velto_windows_error_text PUBLIC velto_layer_kernel32)
  target_link_libraries(velto_https_prefix PUBLIC velto_layer_crt)
  target_link_libraries(velto_byte_buffer PUBLIC velto_layer_kernel32)
  target_link_libraries(velto_manifest PUBLIC velto_layer_kernel32)
  target_link_libraries(velto_hex_text PUBLIC velto_layer_crt)
  target_link_libraries(velto_download PUBLIC velto_layer_winhttp velto_layer_kernel32)
  target_link_libraries(velto_staging PUBLIC velto_layer_ntdll velto_layer_advapi32 velto_layer_bcrypt
                        velto_layer_crt velto_layer_kernel32)
  target_link_libraries(velto_file_identity PUBLIC velto_layer_kernel32)
  target_link_libraries(velto_system_libraries PUBLIC velto_layer_kernel32)
  target_link_libraries(velto_digest PUBLIC velto_layer_bcrypt velto_layer_kernel32)
  target_link_libraries(velto_signature PUBLIC velto_layer_wintrust velto_layer_kernel32)
  target_link_libraries(velto_launch PUBLIC velto_layer_kernel32)
  target_link_libraries(velto_release_verification PUBLIC velto_layer_kernel32)
  target_link_libraries(velto_sequence PUBLIC velto_layer_user32 velto_layer_crt velto_layer_kernel32)
endif()
