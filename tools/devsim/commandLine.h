// The program's command line: options, fault modes and the help text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/devsim/simulatorOptions.h"

namespace devsim {

struct CommandLine {
  SimulatorOptions options;
  std::string receivedFile;  // empty: not written
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name. On a bad argument returns
// nothing and says why in `error`.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

std::string helpText();

// Texts on the command line may hold \r, \n, \t, \\ and \xHH.
std::optional<std::string> decodeEscapes(std::string_view text);

}  // namespace devsim
