// Hexadecimal text, the check-sum element and the byte-to-hex element.
#include <gtest/gtest.h>

#include "elements/hexText.h"
#include "elements/zkCRC16_32.h"
#include "elements/zkStream2Hex.h"
#include "support/recorder.h"

namespace {

TEST(HexText, ReadsAnOptionalDollarThenDigitsUpToTheFirstOtherCharacter) {
  const std::pair<std::string, uint32_t> cases[] = {
      {"$A001", 0xA001}, {"$FFFFFFFF", 0xFFFFFFFF}, {"A0x1", 0xA0}, {"", 0}, {"$", 0},
      {"G1", 0},         {"123456789", 0x23456789},  // wraps at 32 bits
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

// CRC-16/MODBUS, the upload's: the standard check value, on raw bytes and
// on hexadecimal text.
TEST(CheckSum, StandardCheckValueOnRawBytesAndOnHexText) {
  TDispatchScope on;
  TZKCRC16_32 crc;
  EXPECT_EQ(checkSum(crc, "123456789"), "4B37");
  crc.HexInput = 1;
  EXPECT_EQ(checkSum(crc, "313233343536373839"), "4B37");
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
