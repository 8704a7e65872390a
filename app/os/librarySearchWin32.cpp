// Windows: before any code of the program runs, DLLs loaded at run time come
// from the system folder alone, never from the program's own folder, where a
// planted one (in Downloads, say) would run inside the program. The program
// imports only known system DLLs, which Windows always takes from there.
#include <windows.h>

namespace {
[[gnu::constructor]] void loadLibrariesFromTheSystemFolderOnly() {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
}  // namespace
