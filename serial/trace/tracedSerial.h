// A serial system that records in a trace file what the program does with
// each port (traceFormat.h) and otherwise passes every call through: the
// opening with the port's settings, the bytes written and read, a port
// that fails under the program, the closing.
#pragma once

#include "serial/serialDevice.h"
#include "serial/trace/traceFile.h"

class TTracedSerialSystem : public TSerialSystem {
 public:
  TTracedSerialSystem(TSerialSystem& inner, TTraceFile& file) : inner_(inner), file_(file) {}

  std::unique_ptr<TSerialDevice> createDevice() override;
  int32_t portNumber(const std::string& name) override { return inner_.portNumber(name); }
  // Listing is not recorded.
  TSerialSystem& listingSystem() override { return inner_.listingSystem(); }

 private:
  TSerialSystem& inner_;
  TTraceFile& file_;
};

// The settings as a person reads them: "38462 Bd 8N1, DTR off, RTS off, no
// flow control".
std::string describeSettings(const TSerialSettings& settings);
