// Hexadecimal text, the check-sum element and the byte-to-hex element.
#include <gtest/gtest.h>

#include "elements/hexText.h"
#include "elements/zkCRC16_32.h"
#include "elements/zkStream2Hex.h"
#include "support/recorder.h"

namespace {

TEST(HexText, ReadsAnOptionalDollarThenDigitsUpToTheFirstOtherCharacter) {
  const std::pair<std::string, uint32_t> cases[] = {
      {"$A001", 0xA001},
      {"edb88320", 0xEDB88320},
      {"$FFFFFFFF", 0xFFFFFFFF},
      {"A0x1", 0xA0},
      {"", 0},
      {"$", 0},
      {"G1", 0},
      {"$$1", 0},
      {" 1", 0},
      {"123456789", 0x23456789},  // wraps at 32 bits
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(hexToInt(text), value) << text;
}

// Fires a text into the element's input and returns what reached outCRC.
std::string checkSum(TZKCRC16_32& crc, std::string text) {
  TRecorder out;
  crc.outCRC = out.link();
  fireEvent(makeEventLink<&TZKCRC16_32::inCRC>(&crc), std::move(text));
  EXPECT_EQ(out.received.size(), 1u);
  return out.received.empty() ? "<none>" : out.received[0].StrValue;
}

TEST(CheckSum, StandardCheckValuesOnRawBytesAndOnHexTextInOneInstance) {
  const struct {
    uint8_t mode;
    const char *polynom, *init, *result;
  } checkValues[] = {
      {0, "$A001", "$FFFF", "4B37"},
      {1, "$A001", "$FFFF", "374B"},
      {2, "$8408", "$FFFF", "6E90"},
      {3, "$1021", "$FFFF", "29B1"},
      {4, "$EDB88320", "$FFFFFFFF", "CBF43926"},
  };
  TDispatchScope on;
  TZKCRC16_32 crc;  // one for all: switching mode and polynomial keeps every result
  for (const auto& v : checkValues) {
    crc.Mode = v.mode;
    crc.Polynom = v.polynom;
    crc.Init = v.init;
    crc.HexInput = 0;
    EXPECT_EQ(checkSum(crc, "123456789"), v.result) << int{v.mode};
    crc.HexInput = 1;
    EXPECT_EQ(checkSum(crc, "313233343536373839"), v.result) << int{v.mode};
  }
  TZKCRC16_32 defaults;  // CRC-16/MODBUS on raw bytes
  EXPECT_EQ(checkSum(defaults, "abc"), "5749");
}

// The upload's way: one byte at a time, the previous result read back as
// the initial value.
TEST(CheckSum, ChainedThroughTheInitLinkEqualsTheWholeText) {
  TDispatchScope on;
  TZKCRC16_32 crc;
  crc.HexInput = 1;
  TProvider running;
  running.answer = stringData("FFFF");
  crc.dataInit = running.link();
  for (const char c : std::string("123456789"))
    running.answer = stringData(checkSum(crc, intToHex(static_cast<uint8_t>(c), 1)));
  EXPECT_EQ(running.answer.StrValue, "4B37");
  EXPECT_EQ(running.reads, 9);
  EXPECT_EQ(checkSum(crc, "5"), checkSum(crc, "05"));  // one digit for a small byte
}

TEST(Stream2Hex, TwoUpperCaseDigitsPerByteHighNibbleFirst) {
  TDispatchScope on;
  TZKStream2Hex element;
  TRecorder out;
  element.outResult = out.link();
  const TEventLink in = makeEventLink<&TZKStream2Hex::inConvert>(&element);
  fireEvent(in, std::string("\x00\xFF", 2));
  fireEvent(in,
            "\xA5\x0b"
            "FZ");
  fireEvent(in, "");
  ASSERT_EQ(out.received.size(), 3u);
  EXPECT_EQ(out.received[0].StrValue, "00FF");
  EXPECT_EQ(out.received[1].StrValue, "A50B465A");
  EXPECT_EQ(out.received[2].StrValue, "");
}

}  // namespace
