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
// Calls handler(1) (from a signal context: it may only touch atomics) on
// Ctrl-C or SIGTERM, and handler(2), as for a second Ctrl-C, at an end
// that leaves no time to finish: the terminal hung up (SIGHUP), the
// console window closed, the session signed out or the PC shut down
// (Windows: the console's events and a hidden window's end-of-session
// messages). Windows ends the process soon after such an event, so the
// handler's thread then holds it, a few seconds at most, until
// endReached().
void onInterrupt(void (*handler)(int presses));
// What was under way is closed and told (the report written, the records
// synced): the process may end.
void endReached();
// While busy, the program asks Windows to hold a sign-out or shutdown,
// with its reason shown ("Идёт запись ПО"); nothing elsewhere.
void setBusy(bool busy);

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
