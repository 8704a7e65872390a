#include "nextToken.h"

#include <algorithm>
#include <utility>

std::string nextToken(std::string& s, std::string_view delimiters) {
  const size_t cut = delimiters.empty() ? std::string::npos : s.find_first_of(delimiters);
  if (cut == std::string::npos) return std::exchange(s, std::string());
  std::string token = s.substr(0, cut);
  s.erase(0, std::min(s.size(), cut + delimiters.size()));
  return token;
}
