// The ways a device behaves that every front end meets, and what each must
// show. Each front end has one driver that runs every row (Upload.*,
// FlashCommandLine.*, Program.*, Replay.* where a trace shows the row).
#pragma once

#include <chrono>
#include <string>

#include "tools/devsim/simulatorOptions.h"

// The outcome shown, valued as the command line's exit status; Either: timing.
enum class TShown { Done = 0, Failed = 1, NoDevice = 2, Either };

struct TDeviceBehaviour {
  const char* name;
  devsim::SimulatorOptions device;
  TShown shown;
  int blocks;  // the blocks the device receives; -1: as the timing gives
  // The report's failure word and part of its detail ("" where timing decides).
  const char* failure = "";
  const char* detail = "";
  const char* trace = nullptr;          // the recording in tests/traces, if any
  bool upload = true;                   // false: the outcome comes before the upload
  std::chrono::milliseconds within{0};  // the outcome shown this soon (0: not checked)
};

using devsim::AnswerPick;
using std::chrono::milliseconds;

// clang-format off
inline const TDeviceBehaviour deviceBehaviours[] = {
    {"whole image", {}, TShown::Done, 508},
    // Answers cut by a USB-serial adapter's latency timer.
    {"answers cut by an adapter",
     {.adapter = {devsim::AdapterOptions::Kind::LatencyTimer, milliseconds(16), 62, 11}},
     TShown::Done, 508, "", "", "adapter-cut-answers"},
    // The pieces of an answer are joined: no failure.
    {"answer in two reads", {.split = AnswerPick::at(3)}, TShown::Done, 508},
    {"final answer in two reads", {.split = AnswerPick::at(508)}, TShown::Done, 508},
    {"early final answer", {.earlyFinal = 1}, TShown::Done, 1, "",
     "the device ended the transfer after block 1 of 508", "early-final-answer"},
    {"final answer 2.9 s after the one before",
     {.delay = milliseconds(2900), .delayed = AnswerPick::at(2), .earlyFinal = 2},
     TShown::Either, 2},
    {"wrong check sum", {.wrongCrc = AnswerPick::at(5)}, TShown::Failed, 5, "wrong-answer"},
    {"check-sum bytes swapped", {.swapCrc = AnswerPick::at(1)}, TShown::Failed, 1, "wrong-answer"},
    {"plain check sum after the last block", {.plainFinal = true}, TShown::Failed, 508},
    {"silence", {.silentFrom = 2}, TShown::Failed, 2, "no-answer",
     "no answer for 3 s after block 2", nullptr, true, milliseconds(4200)},
    {"late answer", {.delay = milliseconds(4500), .delayed = AnswerPick::at(2)}, TShown::Failed, 2,
     "no-answer", "no answer for 3 s after block 2", "late-answer"},
    {"device vanishing", {.vanishAt = 2}, TShown::Failed, 2, "vanished",
     "the port vanished after block 2", "vanishing-device"},
    // Stray bytes well after the probe's quiet gap, even on a loaded machine;
    // slowed answers keep the transfer under way.
    {"stray bytes before the upload", {.gap = milliseconds(500), .stray = "\x01\x02"},
     TShown::Failed, 0, "wrong-answer", "", nullptr, false},
    {"stray byte during the transfer",
     {.delay = milliseconds(5), .gap = milliseconds(500), .stray = "Z"},
     TShown::Failed, -1, "wrong-answer", ", received 5A", "stray-byte"},
    // The adapter stops taking bytes: block 3's write fails at its 3 s limit.
    {"stalled transmit", {.stallAfter = 4 + 2 * 256}, TShown::Failed, 2, "write-failed",
     "a write to the port failed or timed out in block 3", nullptr, true, milliseconds(4200)},
    {"refused device line", {.identity = "QUILMATRONXX M1 V2"}, TShown::NoDevice, 0, "refused",
     "refused device line \"QUILMATRONXX M1 V2\"", "refused-device-line"},
};
// clang-format on
