// Integer to one byte and to hexadecimal text.
#include <gtest/gtest.h>

#include "elements/zkConvertor.h"
#include "support/recorder.h"

namespace {

TEST(Convertor, ToHexadecimalTextAndToOneByte) {
  // The upload's modes, both with one digit at least.
  const struct {
    uint8_t mode;
    int32_t value;
    std::string text;
  } cases[] = {
      {6, 0, "0"},  {6, 255, "FF"}, {6, 40961, "A001"},           {6, -1, "FFFFFFFF"},
      {4, 65, "A"}, {4, 321, "A"},  {4, 0, std::string(1, '\0')}, {4, -1, "\xFF"},
  };
  TDispatchScope on;
  TZKConvertor convertor;
  TRecorder out;
  convertor.outResult = out.link();
  for (const auto& c : cases) {
    convertor.Mode = c.mode;
    convertor.Digits = 1;
    out.received.clear();
    fireEvent(makeEventLink<&TZKConvertor::inConvert>(&convertor), c.value);
    ASSERT_EQ(out.received.size(), 1u);
    EXPECT_EQ(kindOf(out.received[0]), TDataKind::String);
    EXPECT_EQ(out.received[0].StrValue, c.text) << int{c.mode} << " " << c.value;
  }
}

}  // namespace
