// What the command-line uploader needs of the host besides the serial ports:
// the console, Ctrl-C, whether a port's device is still there, and files
// that are replaced in one step.
#pragma once

#include <cstdio>
#include <string>

// Makes the console show UTF-8 output (Windows consoles need telling).
void prepareConsole();
// True when the stream is a terminal that can redraw lines in place.
bool liveConsole(std::FILE* stream);
// The terminal's width in characters; 80 when it cannot be told.
int consoleColumns(std::FILE* stream);
// Calls handler (from a signal context: it may only touch atomics) on Ctrl-C.
void onInterrupt(void (*handler)());

// False once the port's device has gone from the system (an adapter pulled
// out, the far end of a pseudo-terminal closed).
bool portPresent(const std::string& port);

// Makes bytes the content of path in one step: written to a temporary file
// beside it, flushed to the disk and renamed over it, so a reader finds the
// old file or the new one, never a part. False with error set otherwise.
bool replaceFile(const std::string& path, const std::string& bytes, std::string& error);
