#include "zkDataToFile.h"

void readByteItem(TMemoryStream& stream, const TData*, TData& result) {
  uint8_t byte = 0;
  stream.read(&byte, 1);
  makeInteger(result, byte);
}

void TZKDataToFile::inGet(TData& d, uint16_t) {
  TMemoryStream* stream = readLinkStream(dataStream);
  if (stream == nullptr || !ItemReader) return;
  TData item;
  ItemReader(*stream, nullptr, item);
  tailEvent(d, outGet, item);
}
