// The value record passed along every link, its kinds and conversions.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TMemoryStream;

using TPointMethod = void (*)(void* target, struct TData& d, uint16_t index);

// One record type for output events and data inputs: the receiver's point
// method, the element it is called on and the point index passed along.
struct TEventLink {
  TPointMethod Method = nullptr;
  void* Target = nullptr;
  uint16_t Index = 0;

  bool assigned() const { return Method != nullptr; }
};

namespace TDataKind {
enum : uint8_t {
  Null = 0,
  Integer = 1,
  String = 2,
  Data = 3,
  Combo = 4,
  StrList = 5,
  Icon = 6,
  Real = 7,
  Color = 8,
  Script = 9,
  Stream = 10,
  Bitmap = 11,
  Wave = 12,
  Array = 13,
  ComboEx = 14,
  Font = 15,
  Matrix = 16,
  Jpeg = 17,
  Menu = 18,
  Code = 19,
  Object = 20,
  Type = 21,
  Break = 22,
};
}  // namespace TDataKind

constexpr uint8_t TailFlag = 0x80;

extern const std::array<std::string_view, 23> DataKindNames;

struct TData {
  uint8_t Kind = TDataKind::Null;  // TailFlag set = a tail event is pending
  int32_t IntValue = 0;
  std::string StrValue;  // Windows-1251 bytes, NUL included
  double RealValue = 0.0;
  // A stream reference does not fit the 32-bit integer payload on 64-bit
  // targets, so kind Stream keeps it here.
  TMemoryStream* StreamValue = nullptr;
  // Kept by value: the element that owns the link may be gone by the time the
  // fire loop follows it.
  TEventLink TailLink;
  // The next value of a multi-value chain. The records of a chain never
  // change once linked, so copies of a value share the rest of its chain and
  // the last holder frees it: nobody frees a chain another still reads.
  std::shared_ptr<const TData> Next;
};

// Kind without the tail flag.
inline uint8_t kindOf(const TData& d) { return static_cast<uint8_t>(d.Kind & ~TailFlag); }
inline bool isInteger(const TData& d) { return kindOf(d) == TDataKind::Integer; }

void makeNull(TData& d);
void makeInteger(TData& d, int32_t n);
void makeString(TData& d, std::string s);
void makeStream(TData& d, TMemoryStream* stream);

int32_t toInteger(const TData& d);
double toReal(const TData& d);
std::string toString(const TData& d);
int32_t toIndex(const TData& d);
TMemoryStream* toStream(const TData& d);
bool toBool(const TData& d);

// Text conversions behind toInteger, toReal and toString.
int32_t parseInteger(std::string_view s);
double parseReal(std::string_view s);
std::string formatReal(double v);
int32_t roundToInteger(double v);

// d followed by next (and next's own chain).
void setNext(TData& d, TData next);
// dest becomes src's chain up to and including its first NULL record.
void copyChain(TData& dest, const TData& src);
// Detaches d from the rest of its chain.
void freeChain(TData& d);

// Scratch NULL record.
extern TData EmptyData;
