#include "zkMultiElementEx.h"

#include <algorithm>

#include "helpers.h"
#include "startList.h"

namespace {
// The boundary elements forwarding a call out of their instance right now.
// Reader and timer threads forward through the same containers at once, and
// "the deletion was caused by this instance's own output" is a question about
// one call chain, so each thread keeps its own stack of nodes.
struct TActiveNode {
  const TZKEditMultiEx* boundary;
  TActiveNode* next;
};
thread_local TActiveNode* activeChain = nullptr;

class TActiveScope {
 public:
  explicit TActiveScope(const TZKEditMultiEx* boundary) : node_{boundary, activeChain} {
    activeChain = &node_;
  }
  ~TActiveScope() { activeChain = node_.next; }
  TActiveScope(const TActiveScope&) = delete;
  TActiveScope& operator=(const TActiveScope&) = delete;

 private:
  TActiveNode node_;
};

// The temporary instance of a container without a persistent one.
class TTemporaryInstance {
 public:
  explicit TTemporaryInstance(TZKEditMultiEx* boundary) : boundary_(boundary) {}
  ~TTemporaryInstance() { delete boundary_->Owner; }
  TTemporaryInstance(const TTemporaryInstance&) = delete;
  TTemporaryInstance& operator=(const TTemporaryInstance&) = delete;
  TZKEditMultiEx* operator->() const { return boundary_; }

 private:
  TZKEditMultiEx* boundary_;
};

TEventLink entry(const std::vector<TEventLink>& links, uint16_t index) {
  return index < links.size() ? links[index] : TEventLink{};
}
}  // namespace

TZKMultiElementEx::TZKMultiElementEx(void* parentControl) : ParentControl(parentControl) {}

TZKMultiElementEx::~TZKMultiElementEx() {
  TData scratch;
  // Input 0xFFFF never exists, so no instance input fires on the way out.
  deleteAll(scratch, 0xFFFF);
}

void TZKMultiElementEx::setFactory(TMultiFactory factory) {
  Factory = std::move(factory);
  if (InstanceMode == 0) {
    Current = createInstance();
    Instances.push_back(Current);
  }
}

TZKEditMultiEx* TZKMultiElementEx::createInstance() {
  const bool wasStarted = Started;
  TZKEditMultiEx* boundary = Factory(this, ParentControl, ParentSchema);
  if (wasStarted) runStartProcs();
  return boundary;
}

void TZKMultiElementEx::inWork(TData& d, uint16_t index) {
  if (Current != nullptr) {
    fireEvent(entry(Current->outWork, index), d);
    return;
  }
  if (!Factory) return;
  TTemporaryInstance instance(createInstance());
  fireEvent(entry(instance->outWork, index), d);
}

void TZKMultiElementEx::varPoint(TData& d, uint16_t index) {
  if (Current != nullptr) {
    readForward(d, entry(Current->dataInner, index));
    return;
  }
  if (!Factory) {
    d.Kind = TDataKind::Break;
    return;
  }
  TTemporaryInstance instance(createInstance());
  readForward(d, entry(instance->dataInner, index));
}

void TZKMultiElementEx::deleteInstance(TData& v, uint16_t input) {
  const int32_t k = toInteger(v);
  if (k < 0 || static_cast<size_t>(k) >= Instances.size()) return;
  TZKEditMultiEx* boundary = Instances[static_cast<size_t>(k)];
  if (boundary->isForwarding()) {
    debugMessage("Self destruction is not allowed !!!");
    return;
  }
  if (input < boundary->outWork.size()) fireEvent(boundary->outWork[input], v);
  if (boundary == Current) Current = nullptr;
  delete boundary->Owner;
  Instances.erase(Instances.begin() + k);
}

void TZKMultiElementEx::deleteAll(TData& v, uint16_t input) {
  for (size_t k = Instances.size(); k-- > 0;) {
    makeInteger(v, static_cast<int32_t>(k));
    deleteInstance(v, input);
  }
}

void TZKMultiElementEx::stopThreads() {
  for (TZKEditMultiEx* boundary : Instances) boundary->Owner->stopThreads();
}

void TZKEditMultiEx::inEvent(TData& d, uint16_t index) {
  TActiveScope scope(this);
  fireEvent(entry(Container->outEvent, index), d);
}

void TZKEditMultiEx::varOuter(TData& d, uint16_t index) {
  TActiveScope scope(this);
  readForward(d, entry(Container->dataPoint, index));
}

bool TZKEditMultiEx::isForwarding() const {
  for (const TActiveNode* node = activeChain; node != nullptr; node = node->next)
    if (node->boundary == this) return true;
  return false;
}
