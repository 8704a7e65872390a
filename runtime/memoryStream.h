// A growable byte buffer with a read/write position, owned by one holder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TMemoryStream {
 public:
  enum class Origin { Begin, Current, End };

  // Copies up to n bytes from the position and advances past them; returns
  // how many were copied (0 at the end).
  uint32_t read(void* buffer, uint32_t n);
  // Writes n bytes at the position, growing the stream past its end.
  uint32_t write(const void* buffer, uint32_t n);
  // A seek past the end grows the stream; before the start clamps to 0.
  uint32_t seek(int64_t offset, Origin origin);

  uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
  uint32_t position() const { return position_; }
  std::string_view bytes() const { return bytes_; }

 private:
  std::string bytes_;
  uint32_t position_ = 0;
};

// A new stream, owned by the caller, holding the raw bytes of the program's
// resource of type 100 with this name, positioned at 0; empty when missing.
TMemoryStream* loadResourceStream(const std::string& name);
