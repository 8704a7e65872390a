// The reading rule: linked answer, default, then the event data's values.
#include <gtest/gtest.h>

#include "support/recorder.h"

namespace {

TEST(Reading, LinkedAnswerThenDefaultThenEventData) {
  TDispatchScope on;
  TData e = integerData(7);
  EXPECT_EQ(readInteger(e, TEventLink{}, 5), 5);
  EXPECT_EQ(kindOf(e), TDataKind::Integer);  // not consumed
  EXPECT_EQ(readInteger(e, TEventLink{}, 0), 7);
  EXPECT_EQ(kindOf(e), TDataKind::Null);
  EXPECT_EQ(readInteger(e, TEventLink{}, 0), 0);  // NULL event data: the default

  TData s = stringData("text");
  EXPECT_EQ(readString(s, TEventLink{}, "dflt"), "dflt");
  EXPECT_EQ(readString(s, TEventLink{}, ""), "text");
  EXPECT_EQ(kindOf(s), TDataKind::Null);

  // A linked answer wins; a Break answer counts as unlinked.
  TProvider p;
  p.answer = integerData(11);
  e = integerData(7);
  EXPECT_EQ(readInteger(e, p.link(), 5), 11);
  EXPECT_EQ(kindOf(e), TDataKind::Integer);

  p.answer.Kind = TDataKind::Break;
  EXPECT_EQ(readInteger(e, p.link(), 5), 5);
  EXPECT_EQ(readInteger(e, p.link(), 0), 7);
  EXPECT_EQ(p.reads, 3);
}

}  // namespace
