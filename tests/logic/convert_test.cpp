// Integer to one byte and to hexadecimal text.
#include <gtest/gtest.h>

#include "elements/zkConvertor.h"
#include "support/recorder.h"

namespace {

struct TConvertFixture : ::testing::Test {
  TDispatchScope on;
  TZKConvertor convertor;
  TRecorder out;
  TConvertFixture() { convertor.outResult = out.link(); }
  std::string convert(uint8_t mode, int32_t digits, int32_t value) {
    convertor.Mode = mode;
    convertor.Digits = digits;
    out.received.clear();
    fireEvent(makeEventLink<&TZKConvertor::inConvert>(&convertor), value);
    EXPECT_EQ(out.received.size(), 1u);
    EXPECT_EQ(kindOf(out.received.at(0)), TDataKind::String);
    return out.received.at(0).StrValue;
  }
};

TEST_F(TConvertFixture, HexadecimalText) {
  EXPECT_EQ(convert(6, 1, 0), "0");
  EXPECT_EQ(convert(6, 1, 255), "FF");
  EXPECT_EQ(convert(6, 1, 40961), "A001");
  EXPECT_EQ(convert(6, 1, -1), "FFFFFFFF");
  EXPECT_EQ(convert(6, 4, 0xAB), "00AB");
  EXPECT_EQ(convert(6, 0, 5), "5");
  EXPECT_EQ(convert(6, 18, 5), "05");  // digits count modulo 16
  EXPECT_EQ(convert(6, -3, 5), "5");
  EXPECT_EQ(convert(6, 12, 1), "000000000001");
}

TEST_F(TConvertFixture, OneByteCharacter) {
  EXPECT_EQ(convert(4, 1, 65), "A");
  EXPECT_EQ(convert(4, 1, 321), "A");
  EXPECT_EQ(convert(4, 1, 0), std::string(1, '\0'));
  EXPECT_EQ(convert(4, 1, -1), "\xFF");
}

TEST_F(TConvertFixture, LinkedValueAndUnknownMode) {
  TProvider value;
  value.answer = stringData("26");
  convertor.dataValue = value.link();
  EXPECT_EQ(convert(6, 2, 99), "1A");

  convertor.Mode = 3;
  out.received.clear();
  fireEvent(makeEventLink<&TZKConvertor::inConvert>(&convertor), 1);
  EXPECT_TRUE(out.received.empty());
}

}  // namespace
