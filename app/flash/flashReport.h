// What one run did on each port, as the summary table at the end and as the
// JSON report (--report).
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

enum class TPortOutcome { Done, Found, Failed, NoDevice, CannotOpen, Interrupted };

// Texts are UTF-8.
struct TPortResult {
  std::string port;
  std::string model, version;  // empty when no device answered
  std::string deviceLine;      // what the device answered "VERS", if anything
  TPortOutcome outcome = TPortOutcome::Interrupted;
  std::string failure;  // kind of failure ("wrong-answer", ...); empty: none
  std::string detail;   // what happened, for people; empty on success
  int blocksAcknowledged = 0;
  std::optional<int> failingBlock;
  std::optional<std::string> expected, received;  // hexadecimal
  double seconds = 0;
};

// "done", "failed", "no device"...
std::string outcomeWord(TPortOutcome outcome);
// "12.3 s".
std::string secondsText(double seconds);

// One row per port: port, device, outcome, time, detail.
std::string summaryTable(const std::vector<TPortResult>& results);

// One port's object of the report.
nlohmann::ordered_json portResultJson(const TPortResult& result);

// The report: {"exitStatus": n, "ports": [{"port": ..., ...}, ...]}.
std::string reportJson(const std::vector<TPortResult>& results, int exitStatus);
