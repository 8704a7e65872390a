#include "flashReport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/flash/consoleBoard.h"

namespace {
std::string device(const TPortResult& result) {
  return result.model.empty() && result.version.empty() ? "-" : result.model + " " + result.version;
}

template <class T>
nlohmann::ordered_json orNull(const std::optional<T>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json textOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}
}  // namespace

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string outcomeWord(TPortOutcome outcome) {
  switch (outcome) {
    case TPortOutcome::Done:
      return "done";
    case TPortOutcome::Found:
      return "found";
    case TPortOutcome::Failed:
      return "failed";
    case TPortOutcome::NoDevice:
      return "no device";
    case TPortOutcome::CannotOpen:
      return "cannot open";
    case TPortOutcome::Interrupted:
      return "interrupted";
  }
  return "?";
}

std::string summaryTable(const std::vector<TPortResult>& results) {
  std::vector<std::vector<std::string>> rows = {{"PORT", "DEVICE", "OUTCOME", "TIME", "DETAIL"}};
  for (const TPortResult& r : results)
    rows.push_back({r.port, device(r), outcomeWord(r.outcome), secondsText(r.seconds), r.detail});
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows)
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], textWidth(row[i]));
  std::string table;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i + 1 < row.size(); ++i) line += padded(row[i], widths[i] + 2);
    line += row.back();
    line.erase(line.find_last_not_of(' ') + 1);
    table += line + "\n";
  }
  return table;
}

nlohmann::ordered_json portResultJson(const TPortResult& r) {
  return {
      {"port", r.port},
      {"model", textOrNull(r.model)},
      {"version", textOrNull(r.version)},
      {"deviceLine", textOrNull(r.deviceLine)},
      {"outcome", outcomeWord(r.outcome)},
      {"failure", textOrNull(r.failure)},
      {"detail", textOrNull(r.detail)},
      {"blocksAcknowledged", r.blocksAcknowledged},
      {"failingBlock", orNull(r.failingBlock)},
      {"expected", orNull(r.expected)},
      {"received", orNull(r.received)},
      {"seconds", std::round(r.seconds * 1000) / 1000},
  };
}

std::string reportJson(const std::vector<TPortResult>& results, int exitStatus) {
  nlohmann::ordered_json ports = nlohmann::ordered_json::array();
  for (const TPortResult& r : results) ports.push_back(portResultJson(r));
  const nlohmann::ordered_json report = {{"exitStatus", exitStatus}, {"ports", ports}};
  // Whatever a device answered, the file stays valid UTF-8.
  return report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
