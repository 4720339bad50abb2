# Runs at install time, twice: install(CODE) first and last in the top-level
# CMakeLists (KELVOR_MANIFEST_STEP "begin", then "end"). The installation
# keeps the list of what it wrote inside its own tree,
# share/kelvor/install_manifest.txt, so that it can be removed by that list
# with no build tree, and whatever was installed from the build tree since:
# the build tree's install_manifest.txt only ever lists the last
# `cmake --install` of that tree, wherever that went.
#
# One absolute path a line, as installed (DESTDIR left off): the files, the
# list itself among them, then the folders the installation made, each with
# a trailing slash, deepest first, so that removing in order has emptied a
# folder before it comes to it.
#
# begin: KELVOR_MANIFEST_FOLDERS, the folders files are installed to
#        (relative: under the prefix). Notes which of them, and of their
#        parents, do not exist yet: those this installation makes.
# end:   KELVOR_MANIFEST_DIR, the folder of the list, and
#        KELVOR_MANIFEST_OWN_FOLDERS, the folders that are the installation's
#        own by name, listed whether or not this run made them.
include("${CMAKE_CURRENT_LIST_DIR}/UnderPrefix.cmake")

if(KELVOR_MANIFEST_STEP STREQUAL "begin")
  # CMake's lists split at ";" and not inside "[...]": such a path would
  # come out of the list as something else. Refused before anything is
  # written.
  foreach(path "$ENV{DESTDIR}" "${CMAKE_INSTALL_PREFIX}" ${KELVOR_MANIFEST_FOLDERS})
    if(path MATCHES ";" OR path MATCHES "\\[" OR path MATCHES "]")
      message(FATAL_ERROR "kelvor: the installation cannot list what it writes under \"${path}\" "
                          "(a path with [, ] or ;): install to another prefix")
    endif()
  endforeach()
  set(KELVOR_MANIFEST_MADE)
  # A staging tree (DESTDIR, for a package) tells nothing of what exists
  # on the system the package goes to.
  if("$ENV{DESTDIR}" STREQUAL "")
    foreach(dir ${KELVOR_MANIFEST_FOLDERS})
      kelvor_under_prefix(dir "${dir}")
      while(NOT EXISTS "${dir}")
        list(APPEND KELVOR_MANIFEST_MADE "${dir}")
        get_filename_component(parent "${dir}" DIRECTORY)
        if(parent STREQUAL dir OR parent STREQUAL "")
          break()
        endif()
        set(dir "${parent}")
      endwhile()
    endforeach()
  endif()
elseif(KELVOR_MANIFEST_STEP STREQUAL "end")
  set(destdir "$ENV{DESTDIR}")
  kelvor_under_prefix(list_dir "${KELVOR_MANIFEST_DIR}")
  set(manifest "${list_dir}/install_manifest.txt")

  set(files)
  foreach(file ${CMAKE_INSTALL_MANIFEST_FILES})
    if(NOT destdir STREQUAL "")
      string(FIND "${file}" "${destdir}" at)
      if(at EQUAL 0)
        string(LENGTH "${destdir}" cut)
        string(SUBSTRING "${file}" ${cut} -1 file)
      endif()
    endif()
    get_filename_component(file "${file}" ABSOLUTE)
    list(APPEND files "${file}")
  endforeach()
  set(folders ${KELVOR_MANIFEST_MADE})
  foreach(dir ${KELVOR_MANIFEST_OWN_FOLDERS})
    kelvor_under_prefix(dir "${dir}")
    list(APPEND folders "${dir}")
  endforeach()

  # Installed over an earlier installation: what that one wrote or made and
  # this one did not stays listed, so that removing takes it too.
  if(EXISTS "${destdir}${manifest}")
    # Read as it is, byte for byte: file(STRINGS) would drop the non-ASCII.
    file(READ "${destdir}${manifest}" earlier)
    string(REPLACE "\n" ";" earlier "${earlier}")
    foreach(path ${earlier})
      if(path MATCHES "^(/.*)/$")
        list(APPEND folders "${CMAKE_MATCH_1}")
      elseif(EXISTS "${destdir}${path}" OR IS_SYMLINK "${destdir}${path}")
        list(APPEND files "${path}")
      endif()
    endforeach()
  endif()

  list(APPEND files "${manifest}")
  list(REMOVE_DUPLICATES files)
  list(REMOVE_DUPLICATES folders)
  # A folder's path begins with its parent's: descending order puts every
  # folder before its parent.
  list(SORT folders ORDER DESCENDING)
  set(text "")
  foreach(file ${files})
    string(APPEND text "${file}\n")
  endforeach()
  foreach(dir ${folders})
    string(APPEND text "${dir}/\n")
  endforeach()
  message(STATUS "Installing: ${destdir}${manifest} (the list of what this installation wrote)")
  file(WRITE "${destdir}${manifest}" "${text}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destdir}${manifest}")
else()
  message(FATAL_ERROR "InstallManifest.cmake: KELVOR_MANIFEST_STEP is \"${KELVOR_MANIFEST_STEP}\", not begin or end")
endif()
