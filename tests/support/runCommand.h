// Runs a shell command for its output and exit code; after 120 s it is stopped.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct TRun {
  int exitCode = -1;
  std::string output;  // standard output and error
};

inline TRun run(const std::string& command) {
  TRun result;
  std::FILE* pipe = popen(("timeout -k 5 120 " + command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  EXPECT_NE(result.exitCode, 124) << "did not end within 120 s: " << command;
  return result;
}
