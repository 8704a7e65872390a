#include "memoryStream.h"

#include <algorithm>
#include <cstring>

#include "systemSeams.h"

uint32_t TMemoryStream::read(void* buffer, uint32_t n) {
  if (n == 0 || position_ >= bytes_.size()) return 0;
  const uint32_t count = std::min<uint32_t>(n, size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, count);
  position_ += count;
  return count;
}

uint32_t TMemoryStream::write(const void* buffer, uint32_t n) {
  if (n == 0) return 0;  // an empty resource comes with no buffer at all
  const size_t end = size_t{position_} + n;
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, buffer, n);
  position_ = static_cast<uint32_t>(end);
  return n;
}

uint32_t TMemoryStream::seek(int64_t offset, Origin origin) {
  int64_t base = 0;
  if (origin == Origin::Current) base = position_;
  if (origin == Origin::End) base = size();
  const int64_t target = std::clamp<int64_t>(base + offset, 0, UINT32_MAX);
  position_ = static_cast<uint32_t>(target);
  if (position_ > bytes_.size()) bytes_.resize(position_);
  return position_;
}

TMemoryStream* loadResourceStream(const std::string& name) {
  auto* stream = new TMemoryStream;
  const std::string_view bytes = systemSeams().findResource(name);
  stream->write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  stream->seek(0, TMemoryStream::Origin::Begin);
  return stream;
}
