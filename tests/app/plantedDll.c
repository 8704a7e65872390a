/* A DLL planted beside a program: loaded, it leaves a file named after
   itself with ".loaded" added. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  char path[MAX_PATH + 8];
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(self, path, MAX_PATH) < MAX_PATH)
    CloseHandle(
        CreateFileA(lstrcatA(path, ".loaded"), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
  return TRUE;
}
