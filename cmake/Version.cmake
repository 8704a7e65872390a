# Which build this is: the project version, the firmware version of the
# embedded image and the source commit. The library quil_version hands them
# to the programs (--version, the window's version label); on Windows each
# program also gets a version resource from quil_version_resource().
#
# A part built on its own (the host simulator of the Windows build) is given
# QUIL_VERSION and QUIL_FIRMWARE_VERSION on its command line.

if(NOT DEFINED QUIL_VERSION)
  set(QUIL_VERSION "${quilmatronx_VERSION}")
endif()
if(NOT QUIL_VERSION)
  set(QUIL_VERSION unknown)
endif()
set(QUIL_FIRMWARE_VERSION "9.5" CACHE STRING
  "Firmware version of the embedded image, shown in the window and by --version")

# The commit as of configuring; a commit or checkout configures again. A
# tree that is not a git checkout of its own (a source tarball, perhaps
# unpacked inside some other repository) says "unknown".
set(QUIL_GIT_COMMIT unknown)
get_filename_component(quil_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(git_top "")
find_package(Git QUIET)
if(Git_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel --git-path logs/HEAD
    WORKING_DIRECTORY ${quil_root} OUTPUT_VARIABLE git_paths RESULT_VARIABLE git_status
    ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REPLACE "\n" ";" git_paths "${git_paths}")
  list(LENGTH git_paths git_lines)
  if(git_status EQUAL 0 AND git_lines EQUAL 2)
    list(GET git_paths 0 git_top)
    list(GET git_paths 1 git_log)
    file(REAL_PATH "${git_top}" git_top)
  endif()
  file(REAL_PATH "${quil_root}" real_root)
  if(git_top STREQUAL real_root)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=12 --verify HEAD
      WORKING_DIRECTORY ${quil_root} OUTPUT_VARIABLE git_commit RESULT_VARIABLE git_status
      ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(git_status EQUAL 0)
      set(QUIL_GIT_COMMIT ${git_commit})
    endif()
    file(REAL_PATH "${git_log}" git_log BASE_DIRECTORY "${quil_root}")
    if(EXISTS "${git_log}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_log}")
    endif()
  endif()
endif()
# What --version prints after the program's name.
set(QUIL_VERSION_LINE "${QUIL_VERSION} (firmware ${QUIL_FIRMWARE_VERSION}, commit ${QUIL_GIT_COMMIT})")
message(STATUS "Version ${QUIL_VERSION_LINE}")

add_library(quil_version STATIC ${quil_root}/app/version.cpp)
target_include_directories(quil_version PUBLIC ${quil_root})
target_compile_definitions(quil_version PRIVATE
  QUIL_FIRMWARE_VERSION="${QUIL_FIRMWARE_VERSION}" QUIL_VERSION_LINE="${QUIL_VERSION_LINE}")
target_link_libraries(quil_version PRIVATE project_warnings)

if(WIN32)
  enable_language(RC)
endif()
set(QUIL_VERSION_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/versionInfo.rc.in)
set(QUIL_MANIFEST ${quil_root}/resources/quilmatronx.manifest)

# quil_version_resource(TARGET DESCRIPTION): the version resource that
# Explorer shows in an .exe's properties, and the application manifest
# (Windows only).
function(quil_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  string(REGEX MATCHALL "[0-9]+" numbers "${QUIL_VERSION}")
  list(APPEND numbers 0 0 0 0)
  list(SUBLIST numbers 0 4 numbers)
  string(JOIN "," QUIL_RC_VERSION_NUMBERS ${numbers})
  set(QUIL_RC_DESCRIPTION "${description}")
  set(QUIL_RC_NAME "${target}")
  set(QUIL_RC_MANIFEST "${QUIL_MANIFEST}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${QUIL_VERSION_RC_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # The resource compiler reads the manifest, which CMake does not scan.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${QUIL_MANIFEST})
endfunction()
