// The files the whole-program tests give the programs and read back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>

#include "serial/trace/traceFormat.h"

// A path of its own in the test's temporary folder.
inline std::string tempPath(const std::string& name) {
  static std::atomic<int> count{0};
  return testing::TempDir() + "quil-" + std::to_string(::getpid()) + "-" + std::to_string(++count) +
         "-" + name;
}

inline std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// A trace file as the simulator's replay reads it.
inline TTrace traceOf(const std::string& path) {
  std::string error;
  auto trace = readTrace(path, error);
  EXPECT_TRUE(trace) << error;
  return trace.value_or(TTrace{});
}
