// What the system knows of each serial port's adapter, and slots that name
// an adapter by its identity rather than by its port name, so a fixture
// keeps working when the system gives its adapter another port name. One
// reader per platform (serial/os/portInfo*), chosen by CMake; tests plug in
// their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct TPortInfo {
  std::string Port;          // the name it opens under (ttyUSB0, COM5)
  std::string Description;   // product or friendly name; empty: unknown
  std::string VendorId;      // USB vendor and product id, four hex digits,
  std::string ProductId;     // lower case; empty when not a USB adapter
  std::string SerialNumber;  // the adapter's own serial number, if it has one
  std::string Location;      // USB position: bus and hub ports ("1-1.2")
  bool Bluetooth = false;    // a Bluetooth serial port: its open connects
};

class TPortInfoSource {
 public:
  virtual ~TPortInfoSource() = default;
  // Every serial port the system lists now, with what it knows of each.
  virtual std::vector<TPortInfo> ports() = 0;
};

// The running platform's reader.
TPortInfoSource& platformPortInfo();

// A slot as the operator names it: a port name, "serial=NUMBER" (the
// adapter's serial number) or "usb=POSITION" (the USB position).
struct TSlotName {
  enum class TKind { Port, Serial, Location };
  TKind Kind = TKind::Port;
  std::string Value;

  static TSlotName parse(const std::string& text);
  bool byIdentity() const { return Kind != TKind::Port; }
  std::string text() const;
};

// The port a slot names now: a port name as given; an identity resolved in
// `ports`. Empty when no adapter has that identity, or when more than one
// has (error then says which).
std::optional<std::string> resolveSlot(const TSlotName& slot, const std::vector<TPortInfo>& ports,
                                       std::string& error);

// One line of what is known of a port's adapter, for --list and the log;
// empty when nothing is.
std::string identityText(const TPortInfo& info);
