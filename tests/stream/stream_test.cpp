// The stream holder, the byte reader and the embedded firmware image.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "elements/zkDataToFile.h"
#include "elements/zkMemoryStream.h"
#include "support/firmwareImage.h"
#include "support/recorder.h"

namespace {

// Through the holder, as the upload reads its image: one byte per call,
// where the last call stopped, then 0 at the end.
TEST(DataToFile, ReadsOneByteAtATimeThenZeroAtTheEnd) {
  TDispatchScope on;
  TZKMemoryStream holder;
  TZKDataToFile reader;
  TRecorder out;
  reader.dataStream = makeEventLink<&TZKMemoryStream::varStream>(&holder);
  reader.outGet = out.link();
  auto* stream = new TMemoryStream;
  stream->write("\x01\xFF\x00\x80", 4);
  stream->seek(0, TMemoryStream::Origin::Begin);
  holder.setStream(stream);
  for (int i = 0; i < 6; ++i) fireEvent(makeEventLink<&TZKDataToFile::inGet>(&reader, 1));
  std::vector<int32_t> values;
  for (const TData& d : out.received) {
    EXPECT_EQ(kindOf(d), TDataKind::Integer);
    values.push_back(d.IntValue);
  }
  EXPECT_EQ(values, (std::vector<int32_t>{1, 255, 0, 128, 0, 0}));
}

// The image the programs carry is the file it was built from, byte for byte.
TEST(EmbeddedImage, IsTheImageFile) {
  std::ifstream file(QUIL_TEST_FIRMWARE_IMAGE, std::ios::binary);
  ASSERT_TRUE(file) << QUIL_TEST_FIRMWARE_IMAGE;
  const std::string expected{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(expected.size(), 130048u);
  EXPECT_TRUE(firmwareImage() == expected);
}

}  // namespace
