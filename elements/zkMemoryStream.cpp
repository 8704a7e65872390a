#include "zkMemoryStream.h"

void TZKMemoryStream::setStream(TMemoryStream* stream) {
  stream_.reset(stream != nullptr ? stream : new TMemoryStream);
}

void TZKMemoryStream::varStream(TData& d, uint16_t) { makeStream(d, stream_.get()); }
