// The memory stream holder, the item reader and the embedded firmware image.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "elements/zkDataToFile.h"
#include "elements/zkMemoryStream.h"
#include "support/recorder.h"

namespace {

TMemoryStream* streamOf(std::string_view bytes) {
  auto* stream = new TMemoryStream;
  stream->write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  stream->seek(0, TMemoryStream::Origin::Begin);
  return stream;
}

TEST(MemoryStream, AnswersItsOwnStreamEveryTime) {
  TDispatchScope on;
  TZKMemoryStream holder;
  const TEventLink link = makeEventLink<&TZKMemoryStream::varStream>(&holder);
  TMemoryStream* empty = readLinkStream(link);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->size(), 0u);

  holder.setStream(streamOf("abc"));
  TMemoryStream* first = readLinkStream(link);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->size(), 3u);
  char byte = 0;
  first->read(&byte, 1);
  // The same object: a second reader continues where the first stopped.
  TMemoryStream* second = readLinkStream(link);
  EXPECT_EQ(second, first);
  EXPECT_EQ(second->position(), 1u);

  holder.setStream(nullptr);
  EXPECT_EQ(readLinkStream(link)->size(), 0u);
}

struct TByteReaderChain {
  TZKMemoryStream holder;
  TZKDataToFile reader;
  TRecorder out;
  TByteReaderChain() {
    reader.dataStream = makeEventLink<&TZKMemoryStream::varStream>(&holder);
    reader.outGet = out.link();
  }
  void get() {
    TData d;
    fireEvent(makeEventLink<&TZKDataToFile::inGet>(&reader, 1), d);
  }
};

TEST(DataToFile, ReadsOneByteAtATimeThenZeroAtTheEnd) {
  TDispatchScope on;
  TByteReaderChain chain;
  chain.holder.setStream(streamOf(std::string("\x01\xFF\x00\x80", 4)));
  for (int i = 0; i < 6; ++i) chain.get();
  std::vector<int32_t> values;
  for (const TData& d : chain.out.received) {
    EXPECT_EQ(kindOf(d), TDataKind::Integer);
    values.push_back(d.IntValue);
  }
  EXPECT_EQ(values, (std::vector<int32_t>{1, 255, 0, 128, 0, 0}));
}

TEST(DataToFile, WithoutAStreamNothingHappens) {
  TDispatchScope on;
  TZKDataToFile reader;
  TRecorder out;
  reader.outGet = out.link();
  TData d;
  fireEvent(makeEventLink<&TZKDataToFile::inGet>(&reader, 1), d);
  TProvider notAStream;
  notAStream.answer = stringData("abc");
  reader.dataStream = notAStream.link();
  fireEvent(makeEventLink<&TZKDataToFile::inGet>(&reader, 1), d);
  EXPECT_EQ(notAStream.reads, 1);
  EXPECT_TRUE(out.received.empty());
}

TEST(DataToFile, AnInstalledItemReaderReplacesTheByteReader) {
  TDispatchScope on;
  TByteReaderChain chain;
  chain.holder.setStream(streamOf("abcdef"));
  chain.reader.ItemReader = [](TMemoryStream& stream, const TData* value, TData& result) {
    EXPECT_EQ(value, nullptr);
    std::string pair(2, '\0');
    pair.resize(stream.read(pair.data(), 2));
    makeString(result, pair);
  };
  chain.get();
  chain.get();
  ASSERT_EQ(chain.out.received.size(), 2u);
  EXPECT_EQ(chain.out.received[1].StrValue, "cd");
}

TEST(EmbeddedImage, MissingResourceGivesAnEmptyStream) {
  std::unique_ptr<TMemoryStream> stream(loadResourceStream("NO_SUCH_RESOURCE"));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->size(), 0u);
}

TEST(EmbeddedImage, ReadsBackByteForByteThenZero) {
  std::ifstream file(QUIL_TEST_FIRMWARE_IMAGE, std::ios::binary);
  ASSERT_TRUE(file) << QUIL_TEST_FIRMWARE_IMAGE;
  const std::string expected{std::istreambuf_iterator<char>(file), {}};
  ASSERT_EQ(expected.size(), 130048u);

  TDispatchScope on;
  TByteReaderChain chain;
  chain.holder.setStream(loadResourceStream("STREAM0"));
  for (size_t i = 0; i <= expected.size(); ++i) chain.get();
  ASSERT_EQ(chain.out.received.size(), expected.size() + 1);
  size_t mismatches = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (chain.out.received[i].IntValue != static_cast<uint8_t>(expected[i])) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(chain.out.received.back().IntValue, 0);
}

}  // namespace
