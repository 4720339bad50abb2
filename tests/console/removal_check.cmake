# cmake -DBUILD_DIR=... -DREADME=... -DWORK=... -DSEED=... -DCOMPONENT=... -P removal_check.cmake
# An installation removed as the README's "Removing" has it, by the list the
# installation keeps in its own tree: after the install check has installed
# the same build tree elsewhere, after an installation over an earlier one,
# with a file of it already gone and one of another program's in a folder
# it made, into folders that did not exist, and given a relative prefix.
# Nothing is left of it but what was there before, and the other program's
# file; the build tree's install_manifest.txt is left as it was.
foreach(var BUILD_DIR README WORK SEED COMPONENT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()

set(build_manifest "${BUILD_DIR}/install_manifest.txt")
function(build_manifest_state out)
  if(EXISTS "${build_manifest}")
    file(READ "${build_manifest}" text)
    set(${out} "present:${text}" PARENT_SCOPE)
  else()
    set(${out} "absent" PARENT_SCOPE)
  endif()
endfunction()
build_manifest_state(manifest_before)

# The README's removal, word for word but for the prefix and sudo.
file(STRINGS "${README}" readme)
set(removal "")
set(inside FALSE)
foreach(line IN LISTS readme)
  if(line MATCHES "^    sudo sh -c 'while ")
    set(inside TRUE)
  endif()
  if(inside)
    string(REGEX REPLACE "^    " "" line "${line}")
    string(APPEND removal "${line}\n")
    if(line MATCHES "install_manifest\\.txt\"'$")
      break()
    endif()
  endif()
endforeach()
if(NOT removal MATCHES "^sudo sh -c '.*< \"/usr/local/share/kelvor/install_manifest\\.txt\"'\n$")
  message(FATAL_ERROR "${README} has no removal by share/kelvor/install_manifest.txt:\n${removal}")
endif()
string(REGEX REPLACE "^sudo " "" removal "${removal}")

# In `where` (relative prefixes are taken there), with `env` (NAME=value
# items) in the environment.
function(install_into prefix where)
  # The component of every rule: `cmake --install` without one would write
  # the build tree's install_manifest.txt, which is the administrator's.
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env ${ARGN}
                          "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}" --component "${COMPONENT}"
                  WORKING_DIRECTORY "${where}" TIMEOUT 60 RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(install_result "${result}" PARENT_SCOPE)
  set(install_output "${output}" PARENT_SCOPE)
endfunction()
function(install_or_fail prefix where)
  install_into("${prefix}" "${where}" ${ARGN})
  if(NOT install_result EQUAL 0)
    message(FATAL_ERROR "cmake --install into ${prefix} failed (${install_result}):\n${install_output}")
  endif()
endfunction()

function(tree_of out dir)
  file(GLOB_RECURSE paths LIST_DIRECTORIES true RELATIVE "${dir}" "${dir}/*")
  list(SORT paths)
  set(${out} "${paths}" PARENT_SCOPE)
endfunction()

# The list, line by line, byte for byte.
function(read_list out file)
  file(READ "${file}" text)
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")
foreach(case after_the_install_check over_an_earlier_installation with_a_file_gone_and_one_added
             into_folders_that_did_not_exist given_a_relative_prefix)
  set(root "${WORK}/${case}")
  file(MAKE_DIRECTORY "${root}")
  if(case STREQUAL into_folders_that_did_not_exist)
    set(prefix "${root}/新 folder/酒店 x")
    set(given "${prefix}")
  elseif(case STREQUAL given_a_relative_prefix)
    set(prefix "${root}/rel/prefix")
    set(given "rel/prefix")
  else()
    # bin/ is there before, with a program of the hotel's own in it.
    set(prefix "${root}")
    set(given "${prefix}")
    file(WRITE "${prefix}/bin/hotel-tool" "the hotel's own")
  endif()
  tree_of(before "${root}")

  install_or_fail("${given}" "${root}")
  set(list "${prefix}/share/kelvor/install_manifest.txt")
  if(NOT EXISTS "${list}")
    message(FATAL_ERROR "${case}: the installation keeps no list of what it wrote (${list})")
  endif()
  read_list(listed "${list}")
  if(case STREQUAL after_the_install_check)
    execute_process(COMMAND "${CMAKE_COMMAND}" -DBUILD_DIR=${BUILD_DIR} -DPREFIX=${WORK}/install-check
                            -DSEED=${SEED} -DCOMPONENT=${COMPONENT} -P ${CMAKE_CURRENT_LIST_DIR}/install_check.cmake
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "the install check failed (${result}):\n${output}")
    endif()
  elseif(case STREQUAL over_an_earlier_installation)
    # The earlier one also wrote a file the later one does not.
    file(WRITE "${prefix}/share/kelvor/dropped-since" "of the earlier installation")
    file(APPEND "${list}" "${prefix}/share/kelvor/dropped-since\n")
    install_or_fail("${given}" "${root}")
    list(APPEND listed "${prefix}/share/kelvor/dropped-since")
  elseif(case STREQUAL with_a_file_gone_and_one_added)
    set(gone "${prefix}/share/doc/kelvor/README.md")
    file(REMOVE "${gone}")
    set(kept "${prefix}/lib/systemd/system/")
    file(WRITE "${kept}other.service" "another program's unit")
    list(APPEND before lib lib/systemd lib/systemd/system lib/systemd/system/other.service)
    list(SORT before)
  elseif(case STREQUAL into_folders_that_did_not_exist)
    # Installed again: the folders it made are still its own.
    install_or_fail("${given}" "${root}")
  endif()

  string(REPLACE "< \"/usr/local/" "< \"${prefix}/" removal_here "${removal}")
  execute_process(COMMAND /bin/sh -c "${removal_here}" RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${case}: the removal failed (${result}):\n${said}")
  endif()
  foreach(path IN LISTS listed)
    set(expected "removed ${path}")
    if(case STREQUAL with_a_file_gone_and_one_added)
      string(FIND "${kept}" "${path}" holds_kept)
      if(path STREQUAL gone)
        set(expected "already gone: ${path}")
      elseif(holds_kept EQUAL 0)
        set(expected "kept ${path}: not empty")
      endif()
    endif()
    string(FIND "${said}" "${expected}\n" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${case}: the removal did not say \"${expected}\":\n${said}")
    endif()
  endforeach()
  tree_of(after "${root}")
  if(NOT after STREQUAL before)
    message(FATAL_ERROR "${case}: the removal left \"${after}\", not \"${before}\":\n${said}")
  endif()
endforeach()

# A package's staging tree: the list names the paths the package installs,
# and of the folders only the installation's own, since the staging tree
# tells nothing of what the target system has.
set(stage "${WORK}/stage")
install_or_fail(/usr "${WORK}" "DESTDIR=${stage}")
read_list(listed "${stage}/usr/share/kelvor/install_manifest.txt")
foreach(path IN LISTS listed)
  if(path MATCHES "/$")
    if(NOT path MATCHES "^/usr/share/(doc/)?kelvor/$")
      message(FATAL_ERROR "staged: the list names the folder ${path} as made by the installation")
    endif()
  elseif(NOT path MATCHES "^/usr/" OR NOT EXISTS "${stage}${path}")
    message(FATAL_ERROR "staged: the list names ${path}, which is not a path the package installs")
  endif()
endforeach()

# A prefix the list could not hold is refused before anything is written.
set(odd "${WORK}/odd")
foreach(name "br[acket" "semi;colon")
  install_into("${odd}/${name}" "${WORK}")
  if(install_result EQUAL 0 OR EXISTS "${odd}")
    message(FATAL_ERROR "installed into \"${odd}/${name}\", which the list cannot hold (${install_result}):\n${install_output}")
  endif()
endforeach()

build_manifest_state(manifest_after)
if(NOT manifest_after STREQUAL manifest_before)
  message(FATAL_ERROR "the tests changed ${build_manifest}: ${manifest_before} became ${manifest_after}")
endif()
file(REMOVE_RECURSE "${WORK}")
