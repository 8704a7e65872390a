// Integer to one byte and to hexadecimal text.
#include <gtest/gtest.h>

#include "elements/zkConvertor.h"
#include "support/recorder.h"

namespace {

TEST(Convertor, ToHexadecimalTextAndToOneByte) {
  const struct {
    uint8_t mode;
    int32_t digits, value;
    std::string text;
  } cases[] = {
      {6, 1, 0, "0"},
      {6, 1, 255, "FF"},
      {6, 1, 40961, "A001"},
      {6, 1, -1, "FFFFFFFF"},
      {6, 4, 0xAB, "00AB"},
      {6, 0, 5, "5"},
      {6, 18, 5, "05"},  // digits count modulo 16
      {6, -3, 5, "5"},
      {6, 12, 1, "000000000001"},
      {4, 1, 65, "A"},
      {4, 1, 321, "A"},
      {4, 1, 0, std::string(1, '\0')},
      {4, 1, -1, "\xFF"},
  };
  TDispatchScope on;
  TZKConvertor convertor;
  TRecorder out;
  convertor.outResult = out.link();
  for (const auto& c : cases) {
    convertor.Mode = c.mode;
    convertor.Digits = c.digits;
    out.received.clear();
    fireEvent(makeEventLink<&TZKConvertor::inConvert>(&convertor), c.value);
    ASSERT_EQ(out.received.size(), 1u);
    EXPECT_EQ(kindOf(out.received[0]), TDataKind::String);
    EXPECT_EQ(out.received[0].StrValue, c.text) << int{c.mode} << " " << c.value;
  }
}

}  // namespace
