// Firing events and reading data through links, and the global switch that
// turns both on and off.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "data.h"

namespace link_detail {
template <class M>
struct PointOwner;
template <class C>
struct PointOwner<void (C::*)(TData&, uint16_t)> {
  using type = C;
};

template <auto M>
void callPoint(void* target, TData& d, uint16_t index) {
  using Owner = typename PointOwner<decltype(M)>::type;
  (static_cast<Owner*>(target)->*M)(d, index);
}
}  // namespace link_detail

// Binds an element's point method into a link, checked by the compiler:
//   hub->outEvent[0] = makeEventLink<&TZKComAsync::inWrite>(comPort);
template <auto M>
TEventLink makeEventLink(typename link_detail::PointOwner<decltype(M)>::type* target,
                         uint16_t index = 0) {
  return TEventLink{&link_detail::callPoint<M>, target, index};
}

using TDispatchRoutine = void (*)(TEventLink link, TData& d);

namespace link_detail {
extern std::atomic<TDispatchRoutine> fireRoutine;
extern std::atomic<TDispatchRoutine> readRoutine;
}  // namespace link_detail

// Calls the link's method with this very record, then follows tail events.
inline void fireEvent(TEventLink link, TData& d) {
  link_detail::fireRoutine.load(std::memory_order_acquire)(link, d);
}
// The value forms fire a fresh record.
void fireEvent(TEventLink link, const TData& value);
void fireEvent(TEventLink link, int32_t value);
void fireEvent(TEventLink link, std::string value);
inline void fireEvent(TEventLink link, const char* value) { fireEvent(link, std::string(value)); }
void fireEvent(TEventLink link);

// Stores the value in the received record so the fire loop passes it on
// after the current handler has returned.
void tailEvent(TData& d, TEventLink link);
void tailEvent(TData& d, TEventLink link, const TData& value);
void tailEvent(TData& d, TEventLink link, int32_t value);
void tailEvent(TData& d, TEventLink link, std::string value);
inline void tailEvent(TData& d, TEventLink link, const char* value) {
  tailEvent(d, link, std::string(value));
}

// Asks the linked provider to fill the record; an unassigned link leaves it.
inline void readData(TEventLink link, TData& d) {
  link_detail::readRoutine.load(std::memory_order_acquire)(link, d);
}

// The reading rule: a linked answer other than Break wins, then a non-empty
// default, then the next value of the event data e (which is shifted).
int32_t readInteger(TData& e, TEventLink link, int32_t defaultValue);
std::string readString(TData& e, TEventLink link, const std::string& defaultValue);
void readValue(TData& e, TEventLink link, const TData* defaultValue, TData& result);
void readAll(TData& e, TEventLink link, const TData* defaultValue, TData& result);
void takeValue(TData& e, TData& result);
// Reads into d as it is; an unassigned link answers Break.
void readForward(TData& d, TEventLink link);
int32_t readLinkInteger(TEventLink link);
TMemoryStream* readLinkStream(TEventLink link);

void enableDispatch();
void disableDispatch();
