// What the command-line uploader needs of the host besides the serial ports:
// the console, Ctrl-C, whether a port's device is still there, and files
// that are replaced in one step.
#pragma once

#include <cstdio>
#include <string>

// Makes the console show UTF-8 output (Windows consoles need telling) and
// keeps a click into it from pausing the program (Windows: QuickEdit off);
// output to a stream that is gone (a closed pipe) fails instead of ending
// the program. restoreConsole() puts back what prepareConsole() changed.
void prepareConsole();
void restoreConsole();
// True when the stream is a terminal that can redraw lines in place.
bool liveConsole(std::FILE* stream);
// The terminal's width in characters; 80 when it cannot be told.
int consoleColumns(std::FILE* stream);
// Calls handler (from a signal context: it may only touch atomics) on Ctrl-C
// or SIGTERM. Closing the console window, logging off or shutting down
// (Windows) calls it too and then holds the process, a few seconds at
// most, until endReached(): Windows ends the process as soon as the
// handler returns.
void onInterrupt(void (*handler)());
// The ports are closed and the report is written.
void endReached();

// False once the port's device has gone from the system (an adapter pulled
// out, the far end of a pseudo-terminal closed).
bool portPresent(const std::string& port);

// Makes bytes the content of path in one step: written to a temporary file
// beside it, flushed to the disk and renamed over it, so a reader finds the
// old file or the new one, never a part: the temporary file's name is the
// run's own, and the file and its folder are synced. A file someone holds
// open (a virus scanner) is waited for a moment. False with error set
// otherwise.
bool replaceFile(const std::string& path, const std::string& bytes, std::string& error);
