// Cutting a text into tokens.
#pragma once

#include <string>
#include <string_view>

// Returns s up to the first byte that is any one of delimiters (all of s when
// there is none) and drops it from s together with as many bytes as
// delimiters has, so a one-byte delimiter is cut off exactly.
std::string nextToken(std::string& s, std::string_view delimiters);
