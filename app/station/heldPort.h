// A slot's port kept open from one schema to the next. Each probe runs in a
// schema of its own that opens and closes its port; the close and the open
// of a real port drop and raise DTR and RTS, and a fixture that wires a
// unit's reset to DTR would reset it once a second. Through this system the
// port is opened once and handed from schema to schema: a schema's close
// only ends its reader (its purge has thrown away what came in), and the
// next schema's open finds the port as it was left.
//
// The port is really closed when a call on it failed (it went away under a
// schema), when another device answers to its name (a link re-pointed),
// and when the slot lets it go (release, or the slot's end).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "serial/serialDevice.h"

class THeldPort final : public TSerialSystem {
 public:
  explicit THeldPort(TSerialSystem& inner);
  ~THeldPort() override;
  THeldPort(const THeldPort&) = delete;
  THeldPort& operator=(const THeldPort&) = delete;

  // A device for one schema at a time: the schema before has closed its
  // port before the next one opens it.
  std::unique_ptr<TSerialDevice> createDevice() override;
  int32_t portNumber(const std::string& name) override { return inner_.portNumber(name); }
  TSerialSystem& listingSystem() override { return inner_.listingSystem(); }

  // Closes the port now; only while no schema has it open.
  void release();

 private:
  class TSession;
  bool reuse(const std::string& name);
  void closeHeld();

  TSerialSystem& inner_;
  const std::unique_ptr<TSerialDevice> device_;
  std::string name_;    // the port's as opened; empty while closed
  std::string target_;  // the device that name opened
  // A call on the port failed (possibly on the reader thread): it is not
  // handed on.
  std::atomic<bool> failed_{false};
};
