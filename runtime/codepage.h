// Windows-1251 (the code page of every text the program carries) to and from
// Unicode, by table: the same on every platform and with no locale involved.
#pragma once

#include <string>
#include <string_view>

// UTF-8 source literals to 1251 bytes; characters 1251 lacks become '?'.
std::string utf8To1251(std::string_view utf8);
std::string cp1251ToUtf8(std::string_view cp1251);
std::wstring cp1251ToWide(std::string_view cp1251);
std::string wideTo1251(std::wstring_view wide);
// The Unicode code point of one 1251 byte.
char32_t cp1251CodePoint(unsigned char byte);
// 1251 byte for a code point, or '?' when 1251 lacks it.
char cp1251FromCodePoint(char32_t code);
