# For the install-time scripts: a folder of the installation as an absolute
# path, a relative one under the prefix installed to (which may differ from
# the configured one: cmake --install --prefix).
function(kelvor_under_prefix out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
