# Warnings are errors on the project's own code. Targets link this INTERFACE
# library instead of copying flags; third-party code (GoogleTest) never does.
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion
  # Byte strings are std::string (signed char) handed to APIs that take
  # unsigned sizes; sign conversions there are deliberate and noisy.
  -Wno-sign-conversion
  -Werror)

# Static linking keeps the Windows executable free of MinGW runtime DLLs.
add_library(project_static_runtime INTERFACE)
if(MINGW)
  target_link_options(project_static_runtime INTERFACE -static -static-libgcc -static-libstdc++)
endif()
