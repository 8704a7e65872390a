// Reads one item at a time from a stream pulled through a data link.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/link.h"
#include "runtime/memoryStream.h"

// Reads one item at the stream's position into result; value is the optional
// argument of the item (none for the readers here).
using TItemReader = std::function<void(TMemoryStream& stream, const TData* value, TData& result)>;

// One byte as an Integer 0..255, advancing the position by one; 0 at the end.
void readByteItem(TMemoryStream& stream, const TData* value, TData& result);

class TZKDataToFile {
 public:
  // The one-byte reader unless the schema installs another.
  TItemReader ItemReader = &readByteItem;
  TEventLink outGet;
  TEventLink dataStream;

  // Reads one item and passes it on; nothing happens without a stream.
  void inGet(TData& d, uint16_t index);
};
