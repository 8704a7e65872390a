// The reading rule: linked answer, default, then the event data's values.
#include <gtest/gtest.h>

#include "support/recorder.h"

namespace {

TEST(Reading, DefaultBeatsEventDataUnlessZero) {
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
}

TEST(Reading, SuccessiveReadsTakeSuccessiveChainValues) {
  TDispatchScope on;
  TData e = chained(stringData("a"), stringData("b"));
  EXPECT_EQ(readString(e, TEventLink{}, ""), "a");
  EXPECT_EQ(readString(e, TEventLink{}, ""), "b");
  EXPECT_EQ(readString(e, TEventLink{}, ""), "");
}

TEST(Reading, LinkedAnswerWinsAndBreakMeansUnlinked) {
  TDispatchScope on;
  TProvider p;
  p.answer = integerData(11);
  TData e = integerData(7);
  EXPECT_EQ(readInteger(e, p.link(), 5), 11);
  EXPECT_EQ(kindOf(e), TDataKind::Integer);

  p.answer.Kind = TDataKind::Break;
  EXPECT_EQ(readInteger(e, p.link(), 5), 5);
  EXPECT_EQ(readInteger(e, p.link(), 0), 7);
  EXPECT_EQ(p.reads, 3);
}

TEST(Reading, ReadValueCopiesOneValueWithoutChain) {
  TDispatchScope on;
  const TData b = integerData(2);
  TData e = chained(integerData(1), b);
  TData result;
  readValue(e, TEventLink{}, nullptr, result);
  EXPECT_EQ(result.IntValue, 1);
  EXPECT_EQ(result.Next, nullptr);
  EXPECT_EQ(e.IntValue, 2);

  const TData dflt = stringData("d");
  readValue(e, TEventLink{}, &dflt, result);
  EXPECT_EQ(result.StrValue, "d");
  const TData nullDefault;
  readValue(e, TEventLink{}, &nullDefault, result);
  EXPECT_EQ(result.IntValue, 2);

  TProvider p;
  p.answer = integerData(5);
  setNext(p.answer, b);
  readValue(e, p.link(), nullptr, result);
  EXPECT_EQ(result.IntValue, 5);
  EXPECT_EQ(result.Next, nullptr);
}

TEST(Reading, ReadAllTakesWholeChainAndClearsEventData) {
  TDispatchScope on;
  TData e = chained(integerData(1), integerData(2));
  const auto rest = e.Next;
  TData result;
  readAll(e, TEventLink{}, nullptr, result);
  EXPECT_EQ(result.IntValue, 1);
  EXPECT_EQ(result.Next, rest);
  EXPECT_EQ(kindOf(e), TDataKind::Null);
  EXPECT_EQ(e.Next, nullptr);
}

TEST(Reading, ForwardAndLinkReaders) {
  TDispatchScope on;
  TData d = integerData(3);
  readForward(d, TEventLink{});
  EXPECT_EQ(d.Kind, TDataKind::Break);
  EXPECT_EQ(d.IntValue, 3);

  TProvider p;
  p.answer = stringData("12");
  EXPECT_EQ(readLinkInteger(p.link()), 12);
  EXPECT_EQ(readLinkStream(p.link()), nullptr);
  EXPECT_EQ(readLinkInteger(TEventLink{}), 0);
}

TEST(Reading, DisabledDispatchLeavesRecordsAlone) {
  TProvider p;
  p.answer = integerData(11);
  TData d = integerData(4);
  readData(p.link(), d);
  EXPECT_EQ(d.IntValue, 4);
  EXPECT_EQ(p.reads, 0);
}

}  // namespace
