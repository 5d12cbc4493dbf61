# Turns the two release settings into a generated header of UTF-16 literals,
# so that the executable carries them as constants and reads nothing at run
# time.
function(velto_cxx_literal value out_var)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  string(REPLACE "\n" "\\n" value "${value}")
  string(REPLACE "\r" "\\r" value "${value}")
  set(${out_var} "${value}" PARENT_SCOPE)
endfunction()

velto_cxx_literal("${VELTO_MANIFEST_URL}" VELTO_MANIFEST_URL_LITERAL)
velto_cxx_literal("${VELTO_PINNED_THUMBPRINT}" VELTO_PINNED_THUMBPRINT_LITERAL)
configure_file(${CMAKE_CURRENT_LIST_DIR}/bootstrap_config_values.h.in
               ${CMAKE_BINARY_DIR}/generated/bootstrap_config_values.h @ONLY)

# One version for the program: project(VERSION) feeds the version resource,
# the application manifest and the HTTP user agent.
configure_file(${CMAKE_CURRENT_LIST_DIR}/velto_version.h.in ${CMAKE_BINARY_DIR}/generated/velto_version.h @ONLY)
