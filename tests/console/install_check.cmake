# cmake -DBUILD_DIR=... -DPREFIX=... -DSEED=... -DCOMPONENT=... -P install_check.cmake
# Installs the build into an empty prefix and checks what a Debian user and
# systemd find there: the executable, the seed, the unit, and the unit's
# first-start step on a data directory.
foreach(var BUILD_DIR PREFIX SEED COMPONENT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
# The component of every rule: `cmake --install` without one would write the
# build tree's install_manifest.txt, which is the administrator's.
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" --component "${COMPONENT}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(exe "${PREFIX}/bin/kelvor-server")
set(seed "${PREFIX}/share/kelvor/velto.bak")
set(unit "${PREFIX}/lib/systemd/system/kelvor-server.service")
set(sysusers "${PREFIX}/lib/sysusers.d/kelvor.conf")
foreach(file "${exe}" "${seed}" "${PREFIX}/share/kelvor/demo-hotel.conf" "${unit}" "${sysusers}"
        "${PREFIX}/share/kelvor/install_manifest.txt")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not installed: ${file}\n${output}")
  endif()
endforeach()
execute_process(COMMAND test -x "${exe}" RESULT_VARIABLE not_executable)
if(not_executable)
  message(FATAL_ERROR "not executable: ${exe}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SEED}" "${seed}" RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${seed} is not the seed database ${SEED}")
endif()

# The unit runs the installed executable as a simple service in its data
# directory, stopped by SIGTERM, restarted after a failure, logging to the
# journal.
file(READ "${unit}" text)
foreach(line
    "Type=simple"
    "User=kelvor"
    "ExecStart=${exe}"
    "WorkingDirectory=/var/lib/kelvor"
    "StateDirectory=kelvor"
    "Restart=on-failure"
    "KillSignal=SIGTERM"
    "StandardError=journal"
    "WantedBy=multi-user.target")
  string(FIND "${text}\n" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${unit} lacks the line \"${line}\":\n${text}")
  endif()
endforeach()
# The data (the staff's passwords among it) is the service's own and its
# group's, and the service is confined to what a UDP and TCP server with
# files only in its data directory needs.
foreach(line
    "UMask=0027"
    "StateDirectoryMode=0750"
    "PrivateDevices=yes"
    "ProtectKernelTunables=yes"
    "ProtectKernelModules=yes"
    "ProtectKernelLogs=yes"
    "ProtectControlGroups=yes"
    "ProtectClock=yes"
    "ProtectHostname=yes"
    "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX AF_NETLINK"
    "RestrictNamespaces=yes"
    "RestrictRealtime=yes"
    "RestrictSUIDSGID=yes"
    "LockPersonality=yes"
    "MemoryDenyWriteExecute=yes"
    "SystemCallFilter=@system-service"
    "SystemCallArchitectures=native"
    "CapabilityBoundingSet=")
  string(FIND "${text}\n" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${unit} lacks the line \"${line}\":\n${text}")
  endif()
endforeach()
if(text MATCHES "@[A-Z_]+@")
  message(FATAL_ERROR "${unit} keeps a placeholder: ${CMAKE_MATCH_0}")
endif()
file(READ "${sysusers}" users)
if(NOT users MATCHES "\nu kelvor - [^\n]* /var/lib/kelvor\n")
  message(FATAL_ERROR "${sysusers} does not declare the user kelvor:\n${users}")
endif()
find_program(SYSTEMD_ANALYZE systemd-analyze)
if(SYSTEMD_ANALYZE)
  execute_process(COMMAND "${SYSTEMD_ANALYZE}" verify "${unit}" RESULT_VARIABLE result
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR NOT output STREQUAL "")
    message(FATAL_ERROR "systemd-analyze verify ${unit} (${result}):\n${output}")
  endif()
  execute_process(COMMAND "${SYSTEMD_ANALYZE}" security --offline=true "${unit}" RESULT_VARIABLE result
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(output MATCHES "nrecognized option|nknown option")
    # systemd before 250 rates only units that are loaded.
    message(STATUS "systemd-analyze cannot rate a unit file here: ${output}")
  elseif(NOT output MATCHES "Overall exposure level for [^:]*: ([0-9]+\\.[0-9])")
    message(FATAL_ERROR "systemd-analyze security --offline=true ${unit} gave no exposure (${result}):\n${output}")
  elseif(CMAKE_MATCH_1 GREATER 3.5)
    message(FATAL_ERROR "${unit}: exposure ${CMAKE_MATCH_1} (at most 3.5):\n${output}")
  endif()
endif()

# The first-start step, run as systemd runs it in the data directory: a new
# installation gets the seed as velto.db and velto.bak; a directory that
# still has velto.bak keeps its missing velto.db missing, for the operator.
if(NOT text MATCHES "\nExecStartPre=([^\n]*)\n")
  message(FATAL_ERROR "${unit} has no ExecStartPre")
endif()
set(step "${CMAKE_MATCH_1}")
set(data "${PREFIX}/var-lib-kelvor")
foreach(case new lost)
  file(REMOVE_RECURSE "${data}")
  file(MAKE_DIRECTORY "${data}")
  if(case STREQUAL lost)
    file(WRITE "${data}/velto.bak" "the hotel's own backup")
  endif()
  # With the unit's UMask, as systemd runs it.
  execute_process(COMMAND /bin/sh -c "umask 0027 && ${step}" WORKING_DIRECTORY "${data}" RESULT_VARIABLE result
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "ExecStartPre failed in a ${case} data directory (${result}):\n${output}")
  endif()
  if(case STREQUAL new)
    foreach(name velto.db velto.bak)
      execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SEED}" "${data}/${name}"
                      RESULT_VARIABLE differs)
      if(differs)
        message(FATAL_ERROR "a new data directory did not get the seed as ${name}")
      endif()
      execute_process(COMMAND stat -c %a "${data}/${name}" OUTPUT_VARIABLE mode OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(NOT mode STREQUAL "640")
        message(FATAL_ERROR "the first-start step made ${name} with mode ${mode}, not 640")
      endif()
    endforeach()
  else()
    file(READ "${data}/velto.bak" backup)
    if(EXISTS "${data}/velto.db" OR NOT backup STREQUAL "the hotel's own backup")
      message(FATAL_ERROR "the first-start step touched a data directory that has its velto.bak")
    endif()
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
