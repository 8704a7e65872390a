# Stops the configuration when the firmware image to embed is missing or not
# exactly 508 blocks of 256 bytes. Included by resources/CMakeLists.txt;
# also runs as a script: cmake -DQUIL_FIRMWARE_IMAGE=<file> -P <this file>.
function(quil_check_firmware_image image)
  if(NOT EXISTS "${image}" OR IS_DIRECTORY "${image}")
    message(FATAL_ERROR "QUIL_FIRMWARE_IMAGE: no such file: ${image}")
  endif()
  file(SIZE "${image}" size)
  if(NOT size EQUAL 130048)
    message(FATAL_ERROR "QUIL_FIRMWARE_IMAGE: ${image} holds ${size} bytes; "
      "a firmware image must be exactly 130048 bytes (508 blocks of 256)")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  quil_check_firmware_image("${QUIL_FIRMWARE_IMAGE}")
endif()
