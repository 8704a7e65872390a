// Hexadecimal text as the elements read it; the check-sum and byte-to-hex elements are on every
// block's path and the simulator sums on its own, so a fault there fails every whole upload.
#include <gtest/gtest.h>

#include "elements/hexText.h"

namespace {

TEST(HexText, ReadsAnOptionalDollarThenDigitsUpToTheFirstOtherCharacter) {
  const std::pair<std::string, uint32_t> cases[] = {
      {"$A001", 0xA001}, {"$FFFFFFFF", 0xFFFFFFFF}, {"A0x1", 0xA0}, {"", 0}, {"$", 0},
      {"G1", 0},         {"123456789", 0x23456789},  // wraps at 32 bits
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(hexToInt(text), value) << text;
}

}  // namespace
