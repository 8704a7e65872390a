// Building texts: numbered placeholders.
#include <gtest/gtest.h>

#include "elements/zkFormatStr.h"
#include "runtime/codepage.h"
#include "support/recorder.h"

namespace {

// The device's words, which may hold any byte, in the program's mask.
TEST(FormatStr, FillsNumberedPlaceholdersOnly) {
  TDispatchScope on;
  TZKFormatStr format;
  TRecorder out;
  format.outString = out.link();
  std::vector<TProvider> params;
  const auto run = [&](const std::string& mask, std::vector<std::string> values) {
    format.Mask = mask;
    format.setCount(static_cast<uint16_t>(values.size()));
    params.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      params[i].answer = stringData(values[i]);
      format.dataParam[i] = params[i].link();
    }
    out.received.clear();
    fireEvent(makeEventLink<&TZKFormatStr::inString>(&format));
    EXPECT_EQ(out.received.size(), 1u);
    EXPECT_EQ(kindOf(out.received.at(0)), TDataKind::String);
    return out.received.at(0).StrValue;
  };
  const std::string mask = utf8To1251("Устройство: %1   Текущая версия ПО: %2");
  EXPECT_EQ(run(mask, {"KVM3", "9.5"}), utf8To1251("Устройство: KVM3   Текущая версия ПО: 9.5"));
  EXPECT_EQ(run("%1", {""}), "");
  // A placeholder inside an inserted value stays.
  EXPECT_EQ(run("%2%1", {"5", "a"}), "a5");
  EXPECT_EQ(run("[%2%1%2]", {"7", ""}), "[7]");
  EXPECT_EQ(run("%2 %1", {"a", "%1"}), "%1 a");
  EXPECT_EQ(run("%1", {std::string("a\1b\0c", 5)}), "ab%c");  // marker bytes
}

}  // namespace
