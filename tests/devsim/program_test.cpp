// quilmatronx-devsim as a program: the port on the first line, the received
// file, the exit status.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "hostPort.h"

namespace devsim_test {
namespace {

// The program running with its standard output in a pipe.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    args.insert(args.begin(), DEVSIM_PROGRAM);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    output_ = fdopen(out[0], "r");
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      exitStatus();
    }
    if (output_) fclose(output_);
  }

  std::string readLine() {
    char line[512];
    return output_ && fgets(line, sizeof line, output_) ? line : "";
  }
  std::string readAll() {
    std::string text;
    for (int c; output_ && (c = fgetc(output_)) != EOF;) text += static_cast<char>(c);
    return text;
  }
  void signal(int number) { kill(pid_, number); }
  int exitStatus() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
};

std::string fileContents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string receivedPath() {
  return ::testing::TempDir() + "devsim_received_" + std::to_string(getpid()) + ".bin";
}

TEST(Program, WholeSessionEndsWithZeroAndTheReceivedImage) {
  const std::string path = receivedPath();
  Program program({"--quiet", "--received", path, "--model", "M1", "--firmware", "V2"});
  std::string port = program.readLine();
  ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;
  port.pop_back();  // the line feed
  HostPort host(port);
  ASSERT_TRUE(host.write("VERS"));
  EXPECT_EQ(host.read(17), "QUILMATRONX M1 V2");
  const std::string image = makeImage(11);
  uint16_t crc = 0xFFFF;
  ASSERT_TRUE(sendBlocks(host, image, 1, 508, crc));
  ASSERT_TRUE(host.write("PUSK"));
  EXPECT_EQ(program.exitStatus(), 0);
  EXPECT_TRUE(fileContents(path) == image);
  std::remove(path.c_str());
}

TEST(Program, SignalEndsTheSessionAndKeepsWhatArrived) {
  const std::string path = receivedPath();
  Program program({"--quiet", "--received", path});
  std::string port = program.readLine();
  port.pop_back();
  HostPort host(port);
  ASSERT_TRUE(host.write("VERS"));
  EXPECT_EQ(host.read(20), "QUILMATRONX QX1 1.00");
  const std::string image = makeImage();
  uint16_t crc = 0xFFFF;
  ASSERT_TRUE(sendBlocks(host, image, 1, 1, crc));
  program.signal(SIGTERM);
  EXPECT_EQ(program.exitStatus(), 7);
  EXPECT_EQ(fileContents(path), block(image, 1));
  std::remove(path.c_str());
}

TEST(Program, HelpAndRefusals) {
  Program help({"--help"});
  EXPECT_NE(help.readAll().find("Fault modes"), std::string::npos);
  EXPECT_EQ(help.exitStatus(), 0);

  Program bad({"--wrong-crc", "zero"});
  EXPECT_EQ(bad.readAll(), "");
  EXPECT_EQ(bad.exitStatus(), 1);

  Program missing({"--attach", "/dev/no-such-tty"});
  EXPECT_EQ(missing.exitStatus(), 1);

  Program unwritable({"--received", "/no-such-dir/file"});
  EXPECT_EQ(unwritable.exitStatus(), 1);
}

}  // namespace
}  // namespace devsim_test
