# What ships, as install rules and CPack settings: `cpack` in a build tree
# (scripts/package does both platforms) makes
# - Linux: a Debian package with the three programs, the desktop entry, its
#   icons, man pages and the note on the dialout group;
# - Windows: a .zip with the two programs and a read-me for operators;
# each with a SHA-256 sum file beside it.

# A window program that shows nothing is not shipped.
if(QUIL_UI_BACKEND STREQUAL "Headless")
  return()
endif()

set(package_docs ${PROJECT_SOURCE_DIR}/docs/package)
set(package_work ${PROJECT_BINARY_DIR}/package-files)
# Packaging builds only the programs (scripts/package), not the whole tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME quilmatronx)
set(CPACK_PACKAGE_VENDOR Zelkora)
set(CPACK_PACKAGE_VERSION ${QUIL_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Firmware uploader for measuring devices with a serial bootloader")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  install(TARGETS quilmatronx-bootloader quilmatronx-flash RUNTIME DESTINATION .)
  # Notepad-friendly: Windows line ends.
  configure_file(${package_docs}/readme-windows.txt ${package_work}/readme.txt @ONLY
    NEWLINE_STYLE CRLF)
  install(FILES ${package_work}/readme.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME quilmatronx-${QUIL_VERSION}-windows-x64)
else()
  include(GNUInstallDirs)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(QUIL_PACKAGE_MAINTAINER "Quilmatronx maintainers <quilmatronx@example.com>" CACHE STRING
    "Maintainer of the Debian package: Name <address>")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUIL_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_VERSION ${QUIL_VERSION})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_PACKAGE_DESCRIPTION [[
Writes the firmware image it carries to a measuring device over a serial
port, checking every block against the CRC-16 the device sends back.
quilmatronx-bootloader is the window program, quilmatronx-flash does the
same on a terminal, and quilmatronx-devsim simulates a device to try them
without one.]])
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The toolkit aborts without a single font.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-dejavu-core)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

  install(TARGETS quilmatronx-bootloader quilmatronx-flash quilmatronx-devsim
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/quilmatronx-bootloader.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/icons/${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME quilmatronx-bootloader.png)
  endforeach()

  # Debian wants man pages and changelogs compressed without a time stamp.
  function(quil_gzip_configured source target)
    configure_file(${source} ${package_work}/${target} @ONLY)
    execute_process(COMMAND gzip -9n -c ${target} WORKING_DIRECTORY ${package_work}
      OUTPUT_FILE ${package_work}/${target}.gz COMMAND_ERROR_IS_FATAL ANY)
  endfunction()
  foreach(program quilmatronx-bootloader quilmatronx-flash quilmatronx-devsim)
    quil_gzip_configured(${PROJECT_SOURCE_DIR}/docs/man/${program}.1 ${program}.1)
    install(FILES ${package_work}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  # SOURCE_DATE_EPOCH, when set, makes the date reproducible.
  string(TIMESTAMP QUIL_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  quil_gzip_configured(${package_docs}/changelog.in changelog)
  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
  install(FILES ${package_work}/changelog.gz DESTINATION ${doc_dir})
  install(FILES ${package_docs}/copyright ${package_docs}/README.Debian DESTINATION ${doc_dir})
endif()

include(CPack)
