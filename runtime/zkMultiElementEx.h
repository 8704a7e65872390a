// A container hosting instances of a generated sub-schema, which looks from
// outside like one element with numbered points; TZKEditMultiEx is the
// other side of those points inside each instance.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "link.h"

class TZKEditMultiEx;
class TZKMultiElementEx;

// Base of the generated sub-schema classes; destroying one destroys all its
// elements, its boundary element last.
class TClassMultiBase {
 public:
  virtual ~TClassMultiBase() = default;
  // Stops and waits for the threads the instance owns (a timer), so that
  // nothing fires out of it while its surroundings are taken down.
  virtual void stopThreads() {}
  TZKEditMultiEx* Boundary = nullptr;
};

// Builds one sub-schema instance and returns its boundary element.
using TMultiFactory = std::function<TZKEditMultiEx*(TZKMultiElementEx* container,
                                                    void* parentControl, void* parentSchema)>;

class TZKMultiElementEx {
 public:
  explicit TZKMultiElementEx(void* parentControl);
  ~TZKMultiElementEx();
  TZKMultiElementEx(const TZKMultiElementEx&) = delete;
  TZKMultiElementEx& operator=(const TZKMultiElementEx&) = delete;

  TZKEditMultiEx* Current = nullptr;
  TMultiFactory Factory;
  std::vector<TZKEditMultiEx*> Instances;
  void* ParentControl = nullptr;
  uint8_t InstanceMode = 0;  // 0 = one persistent instance
  std::vector<TEventLink> outEvent;
  std::vector<TEventLink> dataPoint;
  void* ParentSchema = nullptr;

  // The last configuration step; with InstanceMode 0 builds the instance.
  void setFactory(TMultiFactory factory);
  void inWork(TData& d, uint16_t index);
  void varPoint(TData& d, uint16_t index);

  void deleteInstance(TData& v, uint16_t input);
  void deleteAll(TData& v, uint16_t input);
  // Stops the threads of every instance (TClassMultiBase::stopThreads).
  void stopThreads();

 private:
  TZKEditMultiEx* createInstance();
};

class TZKEditMultiEx {
 public:
  TZKMultiElementEx* Container = nullptr;
  TClassMultiBase* Owner = nullptr;
  std::vector<TEventLink> outWork;    // where the instance handles input i
  std::vector<TEventLink> dataInner;  // who answers data output i

  // Output i of the container.
  void inEvent(TData& d, uint16_t index);
  // Data input i of the container.
  void varOuter(TData& d, uint16_t index);

  // True while this boundary element forwards a call out of its instance on
  // the calling thread.
  bool isForwarding() const;
};
