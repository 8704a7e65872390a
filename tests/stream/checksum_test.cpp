// Hexadecimal text, the check-sum element and the byte-to-hex element.
#include <gtest/gtest.h>

#include "elements/hexText.h"
#include "elements/zkCRC16_32.h"
#include "elements/zkStream2Hex.h"
#include "support/recorder.h"

namespace {

TEST(HexText, ReadsAnOptionalDollarThenDigitsUpToTheFirstOtherCharacter) {
  EXPECT_EQ(hexToInt("$A001"), 0xA001u);
  EXPECT_EQ(hexToInt("edb88320"), 0xEDB88320u);
  EXPECT_EQ(hexToInt("$FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(hexToInt("A0x1"), 0xA0u);
  EXPECT_EQ(hexToInt(""), 0u);
  EXPECT_EQ(hexToInt("$"), 0u);
  EXPECT_EQ(hexToInt("G1"), 0u);
  EXPECT_EQ(hexToInt("$$1"), 0u);
  EXPECT_EQ(hexToInt(" 1"), 0u);
  EXPECT_EQ(hexToInt("123456789"), 0x23456789u);  // wraps at 32 bits
}

TEST(HexText, WritesUpperCaseWithAtLeastTheGivenDigits) {
  EXPECT_EQ(intToHex(0, 1), "0");
  EXPECT_EQ(intToHex(0, 0), "0");
  EXPECT_EQ(intToHex(5, 1), "5");
  EXPECT_EQ(intToHex(171, 1), "AB");
  EXPECT_EQ(intToHex(5, 4), "0005");
  EXPECT_EQ(intToHex(0x4B37, 4), "4B37");
  EXPECT_EQ(intToHex(0x12345, 4), "12345");
  EXPECT_EQ(intToHex(0xFFFFFFFF, 1), "FFFFFFFF");
  EXPECT_EQ(intToHex(0xCBF43926, 8), "CBF43926");
  EXPECT_EQ(intToHex(1, 10), "0000000001");
}

// Fires a text into the element's input and returns what reached outCRC.
std::string checkSum(TZKCRC16_32& crc, std::string text) {
  TRecorder out;
  crc.outCRC = out.link();
  TData d = stringData(std::move(text));
  fireEvent(makeEventLink<&TZKCRC16_32::inCRC>(&crc), d);
  EXPECT_EQ(out.received.size(), 1u);
  if (out.received.empty()) return "<none>";
  EXPECT_EQ(kindOf(out.received[0]), TDataKind::String);
  return out.received[0].StrValue;
}

TZKCRC16_32 makeCrc(uint8_t mode, std::string polynom, std::string init, uint8_t hexInput) {
  TZKCRC16_32 crc;
  crc.Mode = mode;
  crc.Polynom = std::move(polynom);
  crc.Init = std::move(init);
  crc.HexInput = hexInput;
  return crc;
}

struct TCheckValue {
  uint8_t mode;
  const char* polynom;
  const char* init;
  const char* result;
};

const TCheckValue CheckValues[] = {
    {0, "$A001", "$FFFF", "4B37"},
    {1, "$A001", "$FFFF", "374B"},
    {2, "$8408", "$FFFF", "6E90"},
    {3, "$1021", "$FFFF", "29B1"},
    {4, "$EDB88320", "$FFFFFFFF", "CBF43926"},
};

TEST(CheckSum, StandardCheckValuesOnRawBytesAndOnHexText) {
  TDispatchScope on;
  for (const TCheckValue& v : CheckValues) {
    TZKCRC16_32 raw = makeCrc(v.mode, v.polynom, v.init, 0);
    EXPECT_EQ(checkSum(raw, "123456789"), v.result) << "mode " << int{v.mode};
    for (const uint8_t hexInput : {uint8_t{1}, uint8_t{2}}) {
      TZKCRC16_32 hex = makeCrc(v.mode, v.polynom, v.init, hexInput);
      EXPECT_EQ(checkSum(hex, "313233343536373839"), v.result)
          << "mode " << int{v.mode} << " hex input " << int{hexInput};
    }
  }
  TZKCRC16_32 upload = makeCrc(0, "$A001", "$FFFF", 1);
  EXPECT_EQ(checkSum(upload, "616263"), "5749");
  TZKCRC16_32 rawAbc;
  EXPECT_EQ(checkSum(rawAbc, "abc"), "5749");
}

TEST(CheckSum, OneInstanceSwitchingModeAndPolynomialKeepsEveryResult) {
  TDispatchScope on;
  TZKCRC16_32 crc;
  for (int round = 0; round < 2; ++round) {
    for (const TCheckValue& v : CheckValues) {
      crc.Mode = v.mode;
      crc.Polynom = v.polynom;
      crc.Init = v.init;
      EXPECT_EQ(checkSum(crc, "123456789"), v.result) << "mode " << int{v.mode};
    }
  }
}

TEST(CheckSum, EmptyTextGivesTheInitialValueWithoutFinishing) {
  TDispatchScope on;
  for (const uint8_t mode : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{3}}) {
    TZKCRC16_32 crc = makeCrc(mode, "$A001", "$FFFF", 1);
    EXPECT_EQ(checkSum(crc, ""), "FFFF") << int{mode};
    crc.Init = "$1234";
    EXPECT_EQ(checkSum(crc, ""), "1234") << int{mode};
    crc.Init = "$ABCD1234";  // only the low 16 bits in 16-bit modes
    EXPECT_EQ(checkSum(crc, ""), "1234") << int{mode};
  }
  TZKCRC16_32 crc32 = makeCrc(4, "$EDB88320", "$FFFFFFFF", 0);
  EXPECT_EQ(checkSum(crc32, ""), "FFFFFFFF");
  // Blanks and "$" alone leave nothing to check.
  TZKCRC16_32 upload = makeCrc(0, "$A001", "$FFFF", 1);
  EXPECT_EQ(checkSum(upload, " $ "), "FFFF");
}

TEST(CheckSum, HexInputOneRemovesBlanksAndDollarsOtherValuesTakePairsAsTheyAre) {
  TDispatchScope on;
  TZKCRC16_32 upload = makeCrc(0, "$A001", "$FFFF", 1);
  EXPECT_EQ(checkSum(upload, "31 32 33 34 35 36 37 38 39"), "4B37");
  EXPECT_EQ(checkSum(upload, "$31$32$33$34$35$36$37$38$39"), "4B37");
  TZKCRC16_32 asIs = makeCrc(0, "$A001", "$FFFF", 2);
  // Pairs "31", " 3", "2 ", ...: a blank pair counts as 0 or its leading digit.
  EXPECT_NE(checkSum(asIs, "31 32 33 34 35 36 37 38 39"), "4B37");
  TZKCRC16_32 pairs = makeCrc(0, "$A001", "$FFFF", 2);
  EXPECT_EQ(checkSum(pairs, "31 2"), checkSum(upload, "3100"));
}

TEST(CheckSum, OddLengthAndNonHexPairs) {
  TDispatchScope on;
  TZKCRC16_32 upload = makeCrc(0, "$A001", "$FFFF", 1);
  TZKCRC16_32 raw = makeCrc(0, "$A001", "$FFFF", 0);
  EXPECT_EQ(checkSum(upload, "313"), checkSum(raw, std::string("\x31\x03", 2)));
  // "3z" reads as its leading digit 3, "zz" as 0.
  EXPECT_EQ(checkSum(upload, "3zzz"), checkSum(raw, std::string("\x03\x00", 2)));
}

TEST(CheckSum, SwapBytesAndOtherModes) {
  TDispatchScope on;
  TZKCRC16_32 crc = makeCrc(0, "$A001", "$FFFF", 0);
  crc.SwapBytes = true;
  EXPECT_EQ(checkSum(crc, "123456789"), "374B");
  crc.Mode = 1;  // already swapped by the mode, swapped back
  EXPECT_EQ(checkSum(crc, "123456789"), "4B37");
  TZKCRC16_32 unknown = makeCrc(7, "$A001", "$1234", 0);
  EXPECT_EQ(checkSum(unknown, "123456789"), "1234");
  // A polynomial or initial value that is not hexadecimal reads as far as it goes.
  TZKCRC16_32 broken = makeCrc(0, "A0x1", "zz", 0);
  TZKCRC16_32 same = makeCrc(0, "$A0", "$0", 0);
  EXPECT_EQ(checkSum(broken, "abc"), checkSum(same, "abc"));
}

TEST(CheckSum, ChainedOneByteAtATimeThroughTheInitLinkEqualsTheWholeText) {
  TDispatchScope on;
  TZKCRC16_32 crc = makeCrc(0, "$A001", "$FFFF", 1);
  TProvider running;
  running.answer = stringData("FFFF");
  crc.dataInit = running.link();
  for (const char c : std::string("123456789")) {
    // One byte as the convertor sends it: hexadecimal with at least one digit.
    running.answer = stringData(checkSum(crc, intToHex(static_cast<uint8_t>(c), 1)));
  }
  EXPECT_EQ(running.answer.StrValue, "4B37");
  EXPECT_EQ(running.reads, 9);

  // A single digit is the same byte as its zero-padded pair.
  TZKCRC16_32 fresh = makeCrc(0, "$A001", "$FFFF", 1);
  EXPECT_EQ(checkSum(fresh, "5"), checkSum(fresh, "05"));
}

TEST(CheckSum, TextAndPolynomialCanComeThroughLinks) {
  TDispatchScope on;
  TZKCRC16_32 crc;
  TProvider text;
  TProvider polynom;
  text.answer = stringData("123456789");
  polynom.answer = stringData("$8408");
  crc.dataText = text.link();
  crc.dataPolynom = polynom.link();
  crc.Mode = 2;
  EXPECT_EQ(checkSum(crc, "ignored"), "6E90");
}

std::string toHex(TZKStream2Hex& element, TData d) {
  TRecorder out;
  element.outResult = out.link();
  fireEvent(makeEventLink<&TZKStream2Hex::inConvert>(&element), d);
  EXPECT_EQ(out.received.size(), 1u);
  return out.received.empty() ? "<none>" : out.received[0].StrValue;
}

TEST(Stream2Hex, TwoUpperCaseDigitsPerByteHighNibbleFirst) {
  TDispatchScope on;
  TZKStream2Hex element;
  EXPECT_EQ(toHex(element, stringData(std::string("\x00\xFF", 2))), "00FF");
  EXPECT_EQ(toHex(element, stringData("\xA5\x0b"
                                      "FZ")),
            "A50B465A");
  EXPECT_EQ(toHex(element, stringData("")), "");
  TProvider text;
  text.answer = stringData("\x4B\x37");
  element.dataText = text.link();
  EXPECT_EQ(toHex(element, stringData("ignored")), "4B37");
}

}  // namespace
