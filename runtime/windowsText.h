// Texts at the Windows boundary: the W functions speak UTF-16, the program
// speaks UTF-8 to people and files. The A functions would give the ANSI
// code page (1251 on the operators' PCs), so nothing here uses them.
// Windows builds only (runtime/os/windowsTextWin32.cpp).
#pragma once

#include <string>
#include <string_view>

std::string utf8FromWide(std::wstring_view text);
std::wstring wideFromUtf8(std::string_view text);
// The system's own text for an error code, in UTF-8, without the final
// full stop and line break; "system error N" when it has none.
std::string systemErrorText(unsigned long code);
