# cmake -DTEST_EXE=... -DFILTER=... -DHOME_DIR=... -P own_home_check.cmake
# Runs tests with HOME pointing at an empty folder, as a user's home, and no
# XDG folders named: afterwards the folder must still be empty (the tests
# keep their files, QtProject.conf of the file dialogs among them, in a home
# of their own).
foreach(var TEST_EXE FILTER HOME_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()
file(REMOVE_RECURSE "${HOME_DIR}")
file(MAKE_DIRECTORY "${HOME_DIR}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env "HOME=${HOME_DIR}" --unset=XDG_CONFIG_HOME --unset=XDG_DATA_HOME
          --unset=XDG_CACHE_HOME --unset=XDG_STATE_HOME --unset=XDG_RUNTIME_DIR
          "${TEST_EXE}" "--gtest_filter=${FILTER}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${TEST_EXE} --gtest_filter=${FILTER} failed (${result}):\n${output}")
endif()
file(GLOB_RECURSE written LIST_DIRECTORIES true "${HOME_DIR}/*" "${HOME_DIR}/.*")
if(written)
  message(FATAL_ERROR "the tests wrote into the user's home:\n${written}")
endif()
file(REMOVE_RECURSE "${HOME_DIR}")
