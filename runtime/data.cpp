#include "data.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

const std::array<std::string_view, 23> DataKindNames = {
    "NULL",   "Integer", "String", "Data",   "Combo",  "StrList", "Icon",    "Real",
    "Color",  "Script",  "Stream", "Bitmap", "Wave",   "Array",   "ComboEx", "Font",
    "Matrix", "Jpeg",    "Menu",   "Code",   "Object", "Type",    "Break"};

TData EmptyData;

void makeNull(TData& d) {
  d.Kind = TDataKind::Null;
  d.TailLink = {};
  d.Next = nullptr;
}

void makeInteger(TData& d, int32_t n) {
  d.Kind = TDataKind::Integer;
  d.IntValue = n;
  d.TailLink = {};
  d.Next = nullptr;
}

void makeString(TData& d, std::string s) {
  d.Kind = TDataKind::String;
  d.StrValue = std::move(s);
  d.TailLink = {};
  d.Next = nullptr;
}

void makeStream(TData& d, TMemoryStream* stream) {
  d.Kind = TDataKind::Stream;
  d.StreamValue = stream;
  d.TailLink = {};
  d.Next = nullptr;
}

int32_t parseInteger(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }
  // Accumulate with 32-bit wrap-around, done in unsigned arithmetic.
  uint32_t value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
    value = value * 10u + static_cast<uint32_t>(s[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

double parseReal(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && s[i] == '-') {
    negative = true;
    ++i;
  }
  double value = 0.0;
  double scale = 0.0;  // 0 while in the integer part
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      if (scale == 0.0) {
        value = value * 10.0 + (c - '0');
      } else {
        value += (c - '0') * scale;
        scale *= 0.1;
      }
    } else if (c == '.') {
      if (scale != 0.0) break;
      scale = 0.1;
    } else if (c == 'E' || c == 'e') {
      value *= std::pow(10.0, parseInteger(s.substr(i + 1)));
      break;
    }
  }
  return negative ? -value : value;
}

int32_t roundToInteger(double v) {
  // Ties to even; out-of-range values saturate instead of being undefined.
  const double r = std::nearbyint(v);
  if (std::isnan(r)) return 0;
  if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

std::string formatReal(double v) {
  if (v == 0.0) return "0";
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  // 15 significant digits, rounded, then laid out without an exponent.
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
  std::string digits;
  digits.push_back(buf[0]);
  digits.append(buf + 2, 14);
  const int exponent = std::atoi(buf + 17);
  std::string out;
  if (v < 0) out.push_back('-');
  if (exponent >= 14) {
    out += digits;
    out.append(static_cast<size_t>(exponent - 14), '0');
    return out;
  }
  std::string intPart, fraction;
  if (exponent >= 0) {
    intPart = digits.substr(0, static_cast<size_t>(exponent + 1));
    fraction = digits.substr(static_cast<size_t>(exponent + 1));
  } else {
    intPart = "0";
    fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  out += intPart;
  if (!fraction.empty()) out += "." + fraction;
  return out;
}

int32_t toInteger(const TData& d) {
  switch (kindOf(d)) {
    case TDataKind::Integer:
      return d.IntValue;
    case TDataKind::String:
      return parseInteger(d.StrValue);
    case TDataKind::Real:
      return roundToInteger(d.RealValue);
    default:
      return 0;
  }
}

double toReal(const TData& d) {
  switch (kindOf(d)) {
    case TDataKind::Integer:
      return d.IntValue;
    case TDataKind::String:
      return parseReal(d.StrValue);
    case TDataKind::Real:
      return d.RealValue;
    default:
      return 0.0;
  }
}

std::string toString(const TData& d) {
  switch (kindOf(d)) {
    case TDataKind::Integer:
      return std::to_string(d.IntValue);
    case TDataKind::String:
      return d.StrValue;
    case TDataKind::Real:
      return formatReal(d.RealValue);
    default:
      return {};
  }
}

int32_t toIndex(const TData& d) {
  switch (kindOf(d)) {
    case TDataKind::Integer:
    case TDataKind::Real:
      return toInteger(d);
    case TDataKind::String: {
      const int32_t n = parseInteger(d.StrValue);
      if (n == 0 && (d.StrValue.empty() || d.StrValue[0] != '0')) return -1;
      return n;
    }
    default:
      return -1;
  }
}

TMemoryStream* toStream(const TData& d) {
  return kindOf(d) == TDataKind::Stream ? d.StreamValue : nullptr;
}

bool toBool(const TData& d) { return !(isInteger(d) && d.IntValue == 0); }

void setNext(TData& d, TData next) { d.Next = std::make_shared<const TData>(std::move(next)); }

void copyChain(TData& dest, const TData& src) {
  dest = src;
  dest.Next = nullptr;
  if (kindOf(src) == TDataKind::Null) return;
  // Rebuilt up to the first NULL record, which ends the chain.
  std::vector<const TData*> kept;
  for (const TData* p = src.Next.get(); p != nullptr; p = p->Next.get()) {
    kept.push_back(p);
    if (kindOf(*p) == TDataKind::Null) break;
  }
  std::shared_ptr<const TData> rest;
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    TData record = **it;
    record.Next = std::move(rest);
    rest = std::make_shared<const TData>(std::move(record));
  }
  dest.Next = std::move(rest);
}

void freeChain(TData& d) { d.Next.reset(); }
