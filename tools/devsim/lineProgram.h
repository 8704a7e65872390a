// The program's line mode (quilmatronx-devsim --line PATH ...).
#pragma once

#include <string>
#include <vector>

namespace devsim {

// Whether the arguments ask for a line of units.
bool isLineCommand(const std::vector<std::string>& args);
// Plays the line; the program's exit status.
int runLineProgram(const std::vector<std::string>& args);

}  // namespace devsim
