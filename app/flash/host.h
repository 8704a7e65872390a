// What the command-line front end needs of the console.
#pragma once

#include <cstdio>
#include <string>

// Makes the console show UTF-8 output (Windows consoles need telling).
void prepareConsole();
bool isTerminal(std::FILE* stream);
// Calls handler (from a signal context: it may only touch atomics) on Ctrl-C.
void onInterrupt(void (*handler)());

// Writes UTF-8 text whole, even when several threads print at once.
void printText(std::FILE* stream, const std::string& utf8);
// Writes a Windows-1251 text as one UTF-8 line.
void printLine(std::FILE* stream, const std::string& cp1251);
