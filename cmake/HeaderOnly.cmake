# Debian's header-only libraries: JSON (nlohmann-json3-dev) and command-line
# parsing (libcli11-dev), both in /usr/include. The native compiler searches
# that folder anyway. The MinGW build must not search all of it (its C
# library headers would stand in for MinGW's), so it gets a folder holding
# links to just these libraries' own folders.
add_library(quil_header_only INTERFACE)
foreach(library nlohmann CLI)
  if(NOT EXISTS /usr/include/${library})
    message(FATAL_ERROR "/usr/include/${library} is missing: run scripts/setup")
  endif()
endforeach()
if(CMAKE_CROSSCOMPILING)
  set(header_only_dir ${CMAKE_BINARY_DIR}/header-only)
  file(MAKE_DIRECTORY ${header_only_dir})
  foreach(library nlohmann CLI)
    file(CREATE_LINK /usr/include/${library} ${header_only_dir}/${library} SYMBOLIC)
  endforeach()
  target_include_directories(quil_header_only SYSTEM INTERFACE ${header_only_dir})
endif()
