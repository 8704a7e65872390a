// Owns a memory stream (here the firmware image) and lends it to readers.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/link.h"
#include "runtime/memoryStream.h"

class TZKMemoryStream {
 public:
  // Frees the held stream and takes ownership of the given one (null gives an
  // empty stream).
  void setStream(TMemoryStream* stream);
  // Answers the held stream itself: readers share its position.
  void varStream(TData& d, uint16_t index);

 private:
  std::unique_ptr<TMemoryStream> stream_ = std::make_unique<TMemoryStream>();
};
