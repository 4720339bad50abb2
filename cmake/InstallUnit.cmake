# Runs at install time (install(CODE) in console/): the service unit names the
# executable and the seed under the prefix installed to, which may differ from
# the configured one (cmake --install --prefix).
foreach(var KELVOR_UNIT_IN KELVOR_UNIT_OUT KELVOR_UNIT_DIR KELVOR_BINDIR KELVOR_DATADIR KELVOR_DOCDIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "InstallUnit.cmake: ${var} not set")
  endif()
endforeach()
include("${CMAKE_CURRENT_LIST_DIR}/UnderPrefix.cmake")
kelvor_under_prefix(KELVOR_BIN_DIR "${KELVOR_BINDIR}")
kelvor_under_prefix(KELVOR_DATA_DIR "${KELVOR_DATADIR}/kelvor")
kelvor_under_prefix(KELVOR_DOC_DIR "${KELVOR_DOCDIR}")
kelvor_under_prefix(unit_dir "${KELVOR_UNIT_DIR}")
configure_file("${KELVOR_UNIT_IN}" "${KELVOR_UNIT_OUT}" @ONLY)
file(INSTALL "${KELVOR_UNIT_OUT}" DESTINATION "${unit_dir}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
