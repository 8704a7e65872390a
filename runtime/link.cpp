#include "link.h"

namespace {

void idle(TEventLink, TData&) {}

bool dispatching() { return link_detail::fireRoutine.load(std::memory_order_acquire) != &idle; }

void workingFire(TEventLink link, TData& d) {
  while (link.Method != nullptr) {
    link.Method(link.Target, d, link.Index);
    if ((d.Kind & TailFlag) == 0) return;
    d.Kind = kindOf(d);
    // A tail hop is a new delivery: none after delivery was switched off,
    // also when the chain started before.
    if (!dispatching()) return;
    link = d.TailLink;
  }
}

void workingRead(TEventLink link, TData& d) {
  if (link.Method != nullptr) link.Method(link.Target, d, link.Index);
}

// Shifts the event data to its next value.
void shift(TData& e) {
  if (e.Next != nullptr) {
    // Keeps the record alive while e, which holds it, is overwritten.
    const std::shared_ptr<const TData> next = e.Next;
    e = *next;
  } else {
    e.Kind = TDataKind::Null;
  }
}

// Step 1 of the reading rule: true when the link answered something other
// than Break into r.
bool readLinked(TEventLink link, TData& r) {
  if (!link.assigned()) return false;
  readData(link, r);
  return kindOf(r) != TDataKind::Break;
}

}  // namespace

namespace link_detail {
std::atomic<TDispatchRoutine> fireRoutine{&idle};
std::atomic<TDispatchRoutine> readRoutine{&idle};
}  // namespace link_detail

void enableDispatch() {
  link_detail::fireRoutine.store(&workingFire, std::memory_order_release);
  link_detail::readRoutine.store(&workingRead, std::memory_order_release);
}

void disableDispatch() {
  link_detail::fireRoutine.store(&idle, std::memory_order_release);
  link_detail::readRoutine.store(&idle, std::memory_order_release);
}

void fireEvent(TEventLink link, const TData& value) {
  TData d = value;
  fireEvent(link, d);
}

void fireEvent(TEventLink link, int32_t value) {
  TData d;
  makeInteger(d, value);
  fireEvent(link, d);
}

void fireEvent(TEventLink link, std::string value) {
  TData d;
  makeString(d, std::move(value));
  fireEvent(link, d);
}

void fireEvent(TEventLink link) {
  TData d;
  fireEvent(link, d);
}

void tailEvent(TData& d, TEventLink link) {
  d.Kind = TDataKind::Null | TailFlag;
  d.TailLink = link;
}

void tailEvent(TData& d, TEventLink link, const TData& value) {
  d = value;
  d.Kind = static_cast<uint8_t>(kindOf(value) | TailFlag);
  d.TailLink = link;
}

void tailEvent(TData& d, TEventLink link, int32_t value) {
  makeInteger(d, value);
  d.Kind |= TailFlag;
  d.TailLink = link;
}

void tailEvent(TData& d, TEventLink link, std::string value) {
  makeString(d, std::move(value));
  d.Kind |= TailFlag;
  d.TailLink = link;
}

int32_t readInteger(TData& e, TEventLink link, int32_t defaultValue) {
  TData r;
  if (readLinked(link, r)) return toInteger(r);
  if (defaultValue != 0 || kindOf(e) == TDataKind::Null) return defaultValue;
  const int32_t result = toInteger(e);
  shift(e);
  return result;
}

std::string readString(TData& e, TEventLink link, const std::string& defaultValue) {
  TData r;
  if (readLinked(link, r)) return toString(r);
  if (!defaultValue.empty() || kindOf(e) == TDataKind::Null) return defaultValue;
  std::string result = toString(e);
  shift(e);
  return result;
}

void readValue(TData& e, TEventLink link, const TData* defaultValue, TData& result) {
  makeNull(result);
  if (readLinked(link, result)) {
    result.Next = nullptr;
    return;
  }
  if (defaultValue != nullptr && kindOf(*defaultValue) != TDataKind::Null) {
    result = *defaultValue;
    result.Next = nullptr;
    return;
  }
  result = e;
  result.Next = nullptr;
  if (kindOf(e) == TDataKind::Null) e.Next = nullptr;
  shift(e);
}

void readAll(TData& e, TEventLink link, const TData* defaultValue, TData& result) {
  makeNull(result);
  if (readLinked(link, result)) return;
  if (defaultValue != nullptr && kindOf(*defaultValue) != TDataKind::Null) {
    result = *defaultValue;
    return;
  }
  result = e;
  makeNull(e);
}

void takeValue(TData& e, TData& result) { readValue(e, TEventLink{}, nullptr, result); }

void readForward(TData& d, TEventLink link) {
  if (link.assigned()) {
    readData(link, d);
  } else {
    d.Kind = TDataKind::Break;
  }
}

int32_t readLinkInteger(TEventLink link) {
  TData r;
  readData(link, r);
  return toInteger(r);
}

TMemoryStream* readLinkStream(TEventLink link) {
  TData r;
  readData(link, r);
  return toStream(r);
}
