# For the install-time scripts: a folder of the installation as an absolute
# path, a relative one under the prefix installed to (which may differ from
# the configured one: cmake --install --prefix), and a relative prefix under
# the folder cmake --install runs in, as file(INSTALL) takes it.
function(kelvor_under_prefix out dir)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  get_filename_component(dir "${dir}" ABSOLUTE)
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()
