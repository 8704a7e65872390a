// The window program's main routine, apart from main() so that tests can
// run it on the headless window system.
#pragma once

// "/ih" as the first argument (exactly, case included) shows who made the
// program and ends; otherwise the main form runs until it closes. Answers
// the exit code. "--trace FILE" records what goes over the port in FILE
// (compressed when it ends in ".gz"); when FILE cannot be written a box says
// so and the program ends with 2.
int runBootloader(int argc, const char* const* argv);
