// Any text as a trace file: no crash, and what parses, rewritten by the format's own writer, reads
// back the same (the replay plays exactly what the file says).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "serial/trace/traceFormat.h"

namespace {
std::string written(const TTrace& trace) {
  std::string text = traceFormat::header(trace.recordedBy);
  for (const TTraceEntry& entry : trace.entries) {
    switch (entry.kind) {
      case TTraceEntry::Kind::Written:
      case TTraceEntry::Kind::NotWritten:
      case TTraceEntry::Kind::Read: {
        const char mark = entry.kind == TTraceEntry::Kind::Written      ? '>'
                          : entry.kind == TTraceEntry::Kind::NotWritten ? '!'
                                                                        : '<';
        text += traceFormat::bytesLines(entry.time, entry.port, mark, entry.bytes);
        break;
      }
      default:
        text += traceFormat::eventLine(entry.time, entry.port, "open");
    }
  }
  return text;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  const auto trace = parseTrace(std::string(reinterpret_cast<const char*>(data), size), error);
  if (!trace) return 0;
  const auto again = parseTrace(written(*trace), error);
  if (!again || again->entries.size() != trace->entries.size()) std::abort();
  for (size_t i = 0; i < trace->entries.size(); ++i) {
    if (again->entries[i].bytes != trace->entries[i].bytes ||
        again->entries[i].port != trace->entries[i].port)
      std::abort();
  }
  return 0;
}
