// Windows: BITMAP resources are stored without their file header (a bare
// DIB), under the resource type RT_BITMAP rather than the type of the
// program's data streams.
#include <windows.h>

#include "app/programBitmap.h"

TBitmap loadProgramBitmap(const std::string& name) {
  HRSRC info = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(2));  // RT_BITMAP
  if (info == nullptr) return {};
  HGLOBAL handle = LoadResource(nullptr, info);
  const void* bytes = LockResource(handle);
  if (bytes == nullptr) return {};
  return decodeBitmap({static_cast<const char*>(bytes), SizeofResource(nullptr, info)});
}
