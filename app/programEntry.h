// The window program's main routine, apart from main() so that tests can
// run it on the headless window system.
#pragma once

// "/ih" as the first argument (exactly, case included) shows who made the
// program and ends; otherwise the main form runs until it closes. Answers
// the exit code.
int runBootloader(int argc, const char* const* argv);
