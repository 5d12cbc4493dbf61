# Velto.exe is the same to the byte whenever it is built again from the
# same source with the same release settings and toolchain, wherever the
# source and build folders lie and whatever the time, so that anyone can
# check a published Velto.exe against the source.
#
# - No link time stamp: ld writes the time of the link into the PE header,
#   and a CheckSum that depends on it, unless told not to.
# - No symbol table and no debugging sections, except in Debug builds:
#   symbol names can carry the paths of the build (dlltool names an import
#   library's symbols after the library's path), and the toolchain's own
#   objects carry the paths of its build.
# - A fixed SOURCE_DATE_EPOCH for every compilation, so that __DATE__,
#   __TIME__ and any tool that honours the variable give the same text
#   every time, whatever the environment of the build says.
# - The source and build folders mapped to fixed names, so that no path of
#   the build machine reaches the binary through __FILE__ or debugging
#   information.
set(VELTO_SOURCE_DATE_EPOCH 1767225600 CACHE STRING
    "The build time, in seconds since 1970, that the compilers see (fixed for reproducible builds)")

target_link_options(Velto PRIVATE -Wl,--no-insert-timestamp $<$<NOT:$<CONFIG:Debug>>:-s>)

get_property(velto_reproducible_targets DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
set(launcher ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VELTO_SOURCE_DATE_EPOCH})
foreach(target IN LISTS velto_reproducible_targets)
  get_target_property(target_type ${target} TYPE)
  if(target_type STREQUAL "STATIC_LIBRARY" OR target_type STREQUAL "EXECUTABLE")
    set_target_properties(${target} PROPERTIES C_COMPILER_LAUNCHER "${launcher}" CXX_COMPILER_LAUNCHER "${launcher}")
    target_compile_options(${target} PRIVATE
      $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=source>
      $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>)
  endif()
endforeach()
