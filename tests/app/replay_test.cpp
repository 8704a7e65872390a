// Recorded traces (tests/traces, each one way a device behaved) played back by
// the simulator: the programs send exactly what was recorded, with its outcome.
#include <gmock/gmock.h>

#include <fstream>
#include <functional>

#include "programHarness.h"
#include "support/deviceBehaviours.h"
#include "support/runCommand.h"
#include "support/testFiles.h"

namespace {

using devsim::SessionOutcome;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using Kind = TTraceEntry::Kind;

std::string fixturePath(const char* name) { return std::string(QUIL_TRACES "/") + name + ".trace"; }

devsim::SimulatorOptions replaying(const std::string& trace) {
  return {.inactivityTimeout = std::chrono::seconds(10), .replayPath = trace};
}

// A fixture with edits, as a trace file of its own.
std::string editedFixture(const char* name, const std::function<void(std::string&)>& edit) {
  std::string text = fileText(fixturePath(name));
  edit(text);
  const std::string path = tempPath(std::string("edited-") + name + ".trace");
  std::ofstream(path) << text;
  return path;
}

void expectReplayedToTheEnd(TSimulatedDevice& device) {
  ASSERT_TRUE(device.waitFor(std::chrono::seconds(10))) << "the replay did not end";
  EXPECT_EQ(device.outcome(), SessionOutcome::Complete) << device.difference();
}

// Recorded again while replayed (compressed), the exchange is the fixture's.
TEST(Replay, EachFixtureAgainstTheCommandLineUploader) {
  for (const TDeviceBehaviour& f : deviceBehaviours) {
    if (f.trace == nullptr) continue;
    SCOPED_TRACE(f.trace);
    TSimulatedDevice device(replaying(fixturePath(f.trace)));
    const std::string again = tempPath(std::string(f.trace) + ".trace.gz");
    const TRun r = run(QUIL_FLASH " --trace " + again + " " + device.portPath());
    EXPECT_EQ(r.exitCode, static_cast<int>(f.shown)) << r.output;
    EXPECT_THAT(r.output, HasSubstr(f.detail));
    expectReplayedToTheEnd(device);
    const TTrace fixture = traceOf(fixturePath(f.trace));
    const TTrace recorded = traceOf(again);
    EXPECT_EQ(fileText(again)[0], '\x1F') << "not compressed";
    for (Kind kind : {Kind::Written, Kind::Read})
      EXPECT_EQ(recorded.bytes(device.portPath(), kind),
                fixture.bytes(fixture.ports().front(), kind));
  }
}

// The window program's recording of a whole upload (under 1 MB) plays back.
TEST(Replay, WholeUploadRecordedByTheWindowProgram) {
  const std::string trace = tempPath("whole.trace");
  {
    TDevice device({});
    TRunningProgram program({"quilmatronx-bootloader", "--trace", trace.c_str()});
    ASSERT_TRUE(program.onForm([](Form& form) {
      form.sleepAfterDone.Delay = 1000;
      return true;
    }));
    ASSERT_TRUE(program.startUpload(device));
    ASSERT_TRUE(program.onForm([](Form& form) { return shown(form.labelSuccess); },
                               std::chrono::seconds(60)));
  }
  EXPECT_LT(fileText(trace).size(), 1'000'000u);
  EXPECT_THAT(traceOf(trace).recordedBy, HasSubstr("quilmatronx-bootloader 1."));

  TSimulatedDevice device(replaying(trace));
  const TRun r = run(QUIL_FLASH " " + device.portPath());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  expectReplayedToTheEnd(device);
}

// An edited fixture: the replay stops at the first difference, saying where.
TEST(Replay, AnEditedTraceFailsAtTheFirstDifferenceSayingWhere) {
  const struct {
    const char* fixture;
    std::function<void(std::string&)> edit;
    const char* difference;  // a pattern
  } cases[] = {
      // One host byte of block 1 changed.
      {"early-final-answer", [](std::string& text) { text[text.find("  >  3A B6") + 6] = 'B'; },
       R"(at host byte 5 \(trace line 11\): expected 3B.*, received 3A)"},
      // After a lost port a host can only fail to write and close.
      {"vanishing-device",
       [](std::string& text) {
         text.insert(text.find("  lost\n") + 7,
                     traceFormat::bytesLine(0.07, "/dev/pts/14", '<', "A"));
       },
       "trace line 45: a read after the port was lost"},
      // Cut short after 32 bytes of block 1 (no close): the bytes beyond differ.
      {"early-final-answer",
       [](std::string& text) { text.resize(text.rfind('\n', text.find("  >  6C 3F 57")) + 1); },
       R"(at host byte 37 \(trace line 12\): expected nothing more, received 6C 3F 57)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.difference);
    TSimulatedDevice device(replaying(editedFixture(c.fixture, c.edit)));
    const TRun r = run(QUIL_FLASH " " + device.portPath());
    ASSERT_TRUE(device.waitFor(std::chrono::seconds(10))) << "the replay did not end";
    EXPECT_EQ(device.outcome(), SessionOutcome::ReplayDiffers) << r.output;
    EXPECT_THAT(device.difference(), ContainsRegex(c.difference));
  }
}

// A port closed and opened again makes a trace of two sessions, both replayed.
TEST(Replay, ATraceOfTwoSessionsReplays) {
  const std::string path = editedFixture("refused-device-line", [](std::string& text) {
    text += text.substr(text.find("\n    ") + 1);
  });
  TSimulatedDevice device(replaying(path));
  for (int session = 1; session <= 2; ++session) {
    const TRun r = run(QUIL_FLASH " " + device.portPath());
    EXPECT_EQ(r.exitCode, 2) << "session " << session << ": " << r.output;
  }
  expectReplayedToTheEnd(device);
}

}  // namespace
