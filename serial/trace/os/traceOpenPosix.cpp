#include <zlib.h>

#include "serial/trace/traceFile.h"

void* TTraceFile::open(const std::string& path, const char* mode) {
  return gzopen(path.c_str(), mode);
}
