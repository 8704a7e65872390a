// gzopen would take the path in the ANSI code page: a folder named in
// letters outside it could not be written to.
#include <zlib.h>

#include "runtime/windowsText.h"
#include "serial/trace/traceFile.h"

void* TTraceFile::open(const std::string& path, const char* mode) {
  return gzopen_w(wideFromUtf8(path).c_str(), mode);
}
