// quilmatronx-flash as a script sees it: exit codes and output, against the
// quilmatronx-devsim program over a pty.
#include <gmock/gmock.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using ::testing::HasSubstr;

struct TRun {
  int exitCode = -1;
  std::string output;
};

// Runs a shell command and collects its standard output and error.
TRun run(const std::string& command) {
  TRun result;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The simulator in the background, the flasher against the port it prints.
// Returns the flasher's run; the simulator's exit code goes to deviceExit.
TRun flashAgainst(const std::string& simulatorOptions, const std::string& flashOptions,
                  int* deviceExit = nullptr) {
  const std::string script =
      "set -u; out=$(mktemp); " QUIL_DEVSIM " --quiet --timeout 5 " + simulatorOptions +
      " > $out & sim=$!; "
      "for i in $(seq 100); do [ -s $out ] && break; sleep 0.05; done; "
      "port=$(head -n1 $out); " QUIL_FLASH " " +
      flashOptions + " $port; code=$?; wait $sim; echo \"device-exit=$?\"; rm -f $out; exit $code";
  TRun result = run("bash -c '" + script + "'");
  const auto at = result.output.rfind("device-exit=");
  if (deviceExit != nullptr && at != std::string::npos)
    *deviceExit = std::stoi(result.output.substr(at + 12));
  return result;
}

TEST(FlashCommandLine, UploadsTheImageAndExitsZero) {
  const std::string received = testing::TempDir() + "quil-received.bin";
  int deviceExit = -1;
  const TRun r = flashAgainst("--received " + received, "", &deviceExit);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(deviceExit, 0);
  EXPECT_THAT(r.output, HasSubstr("Устройство: QX1   Текущая версия ПО: 1.00"));
  EXPECT_THAT(r.output, HasSubstr("ПО успешно обновлено!"));
  EXPECT_THAT(r.output, HasSubstr("progress: 100% (508/508 blocks)"));
  std::ifstream got(received, std::ios::binary), want(QUIL_FIRMWARE_IMAGE, std::ios::binary);
  std::stringstream gotBytes, wantBytes;
  gotBytes << got.rdbuf();
  wantBytes << want.rdbuf();
  EXPECT_EQ(gotBytes.str().size(), 130048u);
  EXPECT_TRUE(gotBytes.str() == wantBytes.str());
}

TEST(FlashCommandLine, ExitCodesByOutcome) {
  TRun r = flashAgainst("--wrong-crc 3", "");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_THAT(r.output, HasSubstr("Ошибка при передаче данных!"));

  r = flashAgainst("--identity NOTADEVICE", "");
  EXPECT_EQ(r.exitCode, 2) << r.output;
  EXPECT_THAT(r.output, HasSubstr("На этом порту устройств не найдено."));

  r = flashAgainst("--no-vers-answer", "");
  EXPECT_EQ(r.exitCode, 2) << r.output;

  r = flashAgainst("", "--probe-only");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("Устройство: QX1"));
  EXPECT_THAT(r.output, ::testing::Not(HasSubstr("progress")));
  // Without --received the simulator has no file to complain about.
  EXPECT_THAT(r.output, ::testing::Not(HasSubstr("cannot write")));
}

TEST(FlashCommandLine, PortThatCannotBeOpened) {
  const TRun r = run(QUIL_FLASH " /dev/quilmatronx-missing");
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_THAT(r.output, HasSubstr("cannot open port /dev/quilmatronx-missing"));
}

TEST(FlashCommandLine, Usage) {
  EXPECT_EQ(run(QUIL_FLASH).exitCode, 64);
  EXPECT_EQ(run(QUIL_FLASH " --bogus COM1").exitCode, 64);
  EXPECT_EQ(run(QUIL_FLASH " COM1 COM2").exitCode, 64);
  const TRun help = run(QUIL_FLASH " --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.output, HasSubstr("Exit codes"));
}

TEST(FlashCommandLine, ListShowsExtraPorts) {
  const TRun r = run("bash -c 'out=$(mktemp); " QUIL_DEVSIM
                     " --quiet --timeout 2 > $out & for i in $(seq 100); do [ -s $out ] && "
                     "break; sleep 0.05; done; port=$(head -n1 $out); "
                     "QUILMATRONX_EXTRA_PORTS=$port " QUIL_FLASH
                     " --list; echo listed=$port; kill %1; rm -f $out'");
  EXPECT_EQ(r.exitCode, 0);
  const auto at = r.output.find("listed=");
  ASSERT_NE(at, std::string::npos);
  const std::string port = r.output.substr(at + 7, r.output.find('\n', at) - at - 7);
  EXPECT_THAT(r.output.substr(0, at), HasSubstr(port));
}

TEST(FlashCommandLine, InterruptClosesThePortAndExits130) {
  const TRun r =
      run("bash -c 'out=$(mktemp); " QUIL_DEVSIM
          " --quiet --timeout 5 --baud 38462 > $out & sim=$!; for i in $(seq 100); do [ -s $out ] "
          "&& break; sleep 0.05; done; " QUIL_FLASH
          " $(head -n1 $out) & flash=$!; sleep 1.5; "
          "kill -INT $flash; wait $flash; code=$?; wait $sim; echo device-exit=$?; rm -f $out; "
          "exit $code'");
  EXPECT_EQ(r.exitCode, 130) << r.output;
  // The device saw the host close the port mid-upload.
  EXPECT_THAT(r.output, HasSubstr("device-exit=2"));
}

}  // namespace
