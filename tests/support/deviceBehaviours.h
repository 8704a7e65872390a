// The ways a device behaves that every front end meets, and what each must
// show for it. Each front end has one driver that runs every row: the
// uploader's schema (Upload.*), quilmatronx-flash (FlashCommandLine.*), the
// window program (Program.*) and, where a recorded trace shows the row, the
// replay of that trace against the command line (Replay.*). A new behaviour is
// a new row; a new front end is a new driver.
#pragma once

#include <chrono>
#include <string>

#include "tools/devsim/simulatorOptions.h"

// The outcome the front ends show: the command line's exit status (the
// value) and the window's success display, error display, or "no device"
// status; Either: as the timing gives.
enum class TShown { Done = 0, Failed = 1, NoDevice = 2, Either };

struct TDeviceBehaviour {
  const char* name;
  devsim::SimulatorOptions device;
  TShown shown;
  // The blocks the device receives; -1: as the timing gives.
  int blocks;
  // The command line's report: its failure word and a part of its detail
  // ("" where the timing decides it, or the device's log tells it).
  const char* failure = "";
  const char* detail = "";
  // The recorded trace of tests/traces showing the same, if any.
  const char* trace = nullptr;
  // false: the front ends that can wait do not start the upload; the
  // outcome comes before it.
  bool upload = true;
  // The outcome is shown within this long of the choice or the start: a
  // fault's limit, not the time its bytes would take (0: not checked).
  std::chrono::milliseconds within{0};
};

using devsim::AnswerPick;
using std::chrono::milliseconds;

// clang-format off
inline const TDeviceBehaviour deviceBehaviours[] = {
    {"whole image", {}, TShown::Done, 508},
    // Cut by a USB-serial adapter's latency timer: the device line, block
    // answers, the final answer between the check sum and "FZ".
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
    // The stray bytes come well after the probe's quiet gap, also when its
    // timer is late on a loaded machine; answers slowed so the transfer is
    // still under way.
    {"stray bytes before the upload", {.gap = milliseconds(500), .stray = "\x01\x02"},
     TShown::Failed, 0, "wrong-answer", "", nullptr, false},
    {"stray byte during the transfer",
     {.delay = milliseconds(5), .gap = milliseconds(500), .stray = "Z"},
     TShown::Failed, -1, "wrong-answer", ", received 5A", "stray-byte"},
    // The adapter stops taking bytes after two blocks: the write of block 3
    // fails at its limit (3 s), not after the 26.6 s of its 256 bytes.
    {"stalled transmit", {.stallAfter = 4 + 2 * 256}, TShown::Failed, 2, "write-failed",
     "a write to the port failed or timed out in block 3", nullptr, true, milliseconds(4200)},
    {"refused device line", {.identity = "QUILMATRONXX M1 V2"}, TShown::NoDevice, 0, "refused",
     "refused device line \"QUILMATRONXX M1 V2\"", "refused-device-line"},
};
// clang-format on
