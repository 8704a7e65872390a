#include "serial/trace/traceFormat.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::string_view firstLine = "# quilmatronx trace 1";
constexpr std::string_view recordedByPrefix = "# recorded by ";
constexpr size_t hexWidth = traceFormat::BytesPerLine * 3;

struct TEventName {
  std::string_view word;
  TTraceEntry::Kind kind;
};
constexpr TEventName events[] = {
    {"open", TTraceEntry::Kind::Open},         {"cannot-open", TTraceEntry::Kind::OpenFailed},
    {"settings", TTraceEntry::Kind::Settings}, {"lost", TTraceEntry::Kind::Lost},
    {"close", TTraceEntry::Kind::Close},
};

std::string_view nextWord(std::string_view& rest) {
  const size_t start = rest.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  rest.remove_prefix(start);
  const size_t end = std::min(rest.find(' '), rest.size());
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end);
  return word;
}

bool holdsBytes(TTraceEntry::Kind kind) {
  using Kind = TTraceEntry::Kind;
  return kind == Kind::Written || kind == Kind::NotWritten || kind == Kind::Read;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The hexadecimal bytes at the start of `rest` (up to the text column).
bool parseBytes(std::string_view rest, std::string& bytes) {
  std::string_view hex = rest.substr(0, hexWidth + 1);
  for (std::string_view word = nextWord(hex); !word.empty(); word = nextWord(hex)) {
    if (word.size() != 2 || hexDigit(word[0]) < 0 || hexDigit(word[1]) < 0) return false;
    bytes += static_cast<char>(hexDigit(word[0]) * 16 + hexDigit(word[1]));
  }
  return !bytes.empty() && bytes.size() <= traceFormat::BytesPerLine;
}

}  // namespace

std::vector<std::string> TTrace::ports() const {
  std::vector<std::string> names;
  for (const TTraceEntry& entry : entries)
    if (std::find(names.begin(), names.end(), entry.port) == names.end())
      names.push_back(entry.port);
  return names;
}

std::vector<TTraceEntry> TTrace::of(const std::string& port) const {
  std::vector<TTraceEntry> chosen;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(chosen),
               [&](const TTraceEntry& entry) { return entry.port == port; });
  return chosen;
}

std::string TTrace::bytes(const std::string& port, TTraceEntry::Kind kind) const {
  std::string joined;
  for (const TTraceEntry& entry : entries)
    if (entry.port == port && entry.kind == kind) joined += entry.bytes;
  return joined;
}

namespace traceFormat {

std::string header(std::string_view program) {
  while (!program.empty() && (program.back() == '\n' || program.back() == '\r'))
    program.remove_suffix(1);
  return std::string(firstLine) + "\n" + std::string(recordedByPrefix) + std::string(program) +
         "\n"
         "# time (s) since the start, port, then: open, settings, close, lost (the port\n"
         "# failed or went away), or bytes: > one write to the device, ! handed to the port\n"
         "# but not written, < one read, + the line above goes on; in hexadecimal, then as text\n";
}

std::string bytesLine(double time, std::string_view port, char mark, std::string_view bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string hex, text;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += {digits[byte >> 4], digits[byte & 15], ' '};
    text += byte >= 0x20 && byte < 0x7F ? c : '.';
  }
  hex.resize(hexWidth, ' ');
  return eventLine(time, port, std::string_view(&mark, 1), hex + " " + text);
}

std::string bytesLines(double time, std::string_view port, char mark, std::string_view bytes) {
  std::string lines;
  for (size_t i = 0; i < bytes.size(); i += BytesPerLine)
    lines += bytesLine(time, port, i == 0 ? mark : '+', bytes.substr(i, BytesPerLine));
  return lines;
}

std::string eventLine(double time, std::string_view port, std::string_view event,
                      std::string_view words) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%12.6f", time);
  std::string line = std::string(stamp) + "  " + std::string(port) + "  " + std::string(event);
  if (!words.empty()) line += "  " + std::string(words);
  return line + "\n";
}

}  // namespace traceFormat

std::optional<TTrace> parseTrace(std::string_view text, std::string& error) {
  TTrace trace;
  int number = 0;
  const auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(number) + ": " + why;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++number;
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (number == 1 && line != firstLine) return fail("not a quilmatronx trace");
    if (line.starts_with(recordedByPrefix)) trace.recordedBy = line.substr(recordedByPrefix.size());
    if (line.empty() || line.front() == '#') continue;

    std::string_view rest = line;
    const std::string time(nextWord(rest));
    char* timeEnd = nullptr;
    TTraceEntry entry;
    entry.time = std::strtod(time.c_str(), &timeEnd);
    entry.port = nextWord(rest);
    const std::string_view mark = nextWord(rest);
    entry.line = number;
    if (time.empty() || *timeEnd != '\0' || mark.empty()) return fail("not a trace line");
    if (mark.size() == 1 && std::string_view("><+!").find(mark[0]) != std::string_view::npos) {
      if (rest.size() < 2 || !parseBytes(rest.substr(2), entry.bytes))
        return fail("bad bytes after " + std::string(mark));
      if (mark == "+") {
        // Goes on with the port's own line above; other ports' may be between.
        const auto above = std::find_if(trace.entries.rbegin(), trace.entries.rend(),
                                        [&](const TTraceEntry& e) { return e.port == entry.port; });
        if (above == trace.entries.rend() || !holdsBytes(above->kind))
          return fail("\"+\" without a write or a read above it");
        above->bytes += entry.bytes;
        continue;
      }
      entry.kind = mark == ">"   ? TTraceEntry::Kind::Written
                   : mark == "<" ? TTraceEntry::Kind::Read
                                 : TTraceEntry::Kind::NotWritten;
    } else {
      const auto* event = std::find_if(std::begin(events), std::end(events),
                                       [&](const TEventName& e) { return e.word == mark; });
      if (event == std::end(events)) return fail("unknown mark " + std::string(mark));
      entry.kind = event->kind;
      const size_t words = rest.find_first_not_of(' ');
      if (words != std::string_view::npos) entry.text = rest.substr(words);
    }
    trace.entries.push_back(std::move(entry));
  }
  if (number == 0) return fail("empty file");
  return trace;
}

std::optional<TTrace> readTrace(const std::string& path, std::string& error) {
  // zlib reads a file that is not compressed as it stands.
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  std::string text;
  char buffer[65536];
  int count = 0;
  while ((count = gzread(file, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(count));
  const bool failed = count < 0;
  gzclose(file);
  if (failed) {
    error = "cannot read " + path + " (a damaged compressed file?)";
    return std::nullopt;
  }
  auto trace = parseTrace(text, error);
  if (!trace) error = path + ": " + error;
  return trace;
}
