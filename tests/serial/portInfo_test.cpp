// Slots named by an adapter's identity, and what the Windows reader makes
// of the texts SetupAPI returns.
#include <gtest/gtest.h>

#include "serial/os/openRules.h"
#include "serial/os/portInfoSetupApi.h"
#include "serial/portInfo.h"

namespace {

const std::vector<TPortInfo> plugged = {
    {"ttyUSB0", "FT232R USB UART", "0403", "6001", "A50285BI", "1-1.2"},
    {"ttyUSB1", "CP2102", "10c4", "ea60", "0001", "1-1.3"},
    {"ttyUSB2", "CP2102", "10c4", "ea60", "0001", "1-1.4"},
    {"ttyS0", "", "", "", "", ""},
};

TEST(SlotName, ResolvesByPortSerialNumberOrPosition) {
  // The slot, the port it resolves to (empty: none) and the error.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"ttyS0", "ttyS0", ""},
      {"serial=A50285BI", "ttyUSB0", ""},
      {"usb=1-1.3", "ttyUSB1", ""},
      {"usb=1-1", "", "no adapter with usb=1-1 is plugged in"},
      // An empty identity must not match the ports that have none.
      {"serial=", "", "no adapter with serial= is plugged in"},
      {"serial=0001", "", "adapters on ttyUSB1 and ttyUSB2 both have serial=0001"}};
  for (const auto& [text, port, expectedError] : cases) {
    std::string error;
    const TSlotName slot = TSlotName::parse(text);
    EXPECT_EQ(slot.text(), text);
    EXPECT_EQ(resolveSlot(slot, plugged, error).value_or(""), port) << text;
    EXPECT_EQ(error, expectedError) << text;
  }
}

TEST(SetupApiTexts, UsbIdsSerialNumberAndPosition) {
  const std::pair<const char*, const char*> cases[] = {
      {"USB\\VID_0403&PID_6001\\A50285BI", "0403:6001  serial=A50285BI"},
      {"USB\\VID_10C4&PID_EA60\\0001", "10c4:ea60  serial=0001"},
      // No serial number: Windows makes one up with '&' in it.
      {"USB\\VID_1A86&PID_7523\\5&2E3A1C47&0&2", "1a86:7523"},
      {"ACPI\\PNP0501\\1", ""},
      {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", ""}};
  for (const auto& [instanceId, identity] : cases) {
    TPortInfo info;
    applyUsbInstanceId(instanceId, info);
    EXPECT_EQ(identityText(info), identity) << instanceId;
  }
}

// Node chains as SetupAPI gives them, from the port's own node up.
TEST(SetupApiTexts, AdaptersByTheirNodes) {
  const std::string xhci = "PCIROOT(0)#PCI(1400)#USBROOT(0)",
                    bridged = "PCIROOT(0)#PCI(1C04)#PCI(0000)#USBROOT(0)";
  const std::pair<std::vector<TDeviceNode>, const char*> cases[] = {
      // One chip, plain: the port is the USB device.
      {{{"USB\\VID_0403&PID_6001\\A50285BI", xhci + "#USB(2)#USB(1)"}},
       "0403:6001  serial=A50285BI  usb=1400-2.1"},
      // The same hub port on a second controller is another position.
      {{{"USB\\VID_0403&PID_6001\\A50285BJ", bridged + "#USB(2)#USB(1)"}},
       "0403:6001  serial=A50285BJ  usb=1c04.0000-2.1"},
      // A four-port chip: the vendor's bus node, the interface, the device.
      {{{"FTDIBUS\\VID_0403+PID_6011+FT4232XYZB\\0000", ""},
        {"USB\\VID_0403&PID_6011&MI_01\\6&2A3B4C5D&0&0001", xhci + "#USB(3)#USB(2)#USBMI(1)"},
        {"USB\\VID_0403&PID_6011\\FT4232XYZ", xhci + "#USB(3)#USB(2)"}},
       "0403:6011  serial=FT4232XYZ  usb=1400-3.2:1"},
      // A CDC device with an interface association: the port is the interface.
      {{{"USB\\VID_2341&PID_0043&MI_00\\7&1F2E3D4C&0&0000", xhci + "#USB(1)#USBMI(0)"},
        {"USB\\VID_2341&PID_0043\\75830333238351E0A1B1", xhci + "#USB(1)"}},
       "2341:0043  serial=75830333238351E0A1B1  usb=1400-1:0"},
      {{{"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&3A1B2C3D&0&"
         "000000000000_00000000",
         ""},
        {"BTH\\MS_BTHBRB\\7&1C5E2F1&0&1", ""}},
       "Bluetooth"},
      {{{"ACPI\\PNP0501\\1", "ACPI(_SB_)#ACPI(PCI0)#ACPI(UAR1)"}}, ""}};
  for (const auto& [nodes, identity] : cases) {
    TPortInfo info;
    applyDeviceNodes(nodes, info);
    EXPECT_EQ(identityText(info), identity) << nodes[0].InstanceId;
  }
}

// Some drivers refuse an open for a moment after a close: only an open
// within a second of this process's own close of that port is retried.
TEST(WindowsOpens, RetriedOnlyRightAfterOurOwnCloseAndToldInPlainWords) {
  using namespace std::chrono_literals;
  TReopenRule rule;
  const TReopenRule::Clock::time_point t0{};
  EXPECT_FALSE(rule.retryUntil("COM3", t0));
  rule.closed("COM3", t0);
  EXPECT_EQ(rule.retryUntil("com3", t0 + 400ms), t0 + 1400ms);
  EXPECT_FALSE(rule.retryUntil("COM3", t0 + 1s));
  EXPECT_FALSE(rule.retryUntil("COM4", t0 + 1ms));
  EXPECT_EQ(openFailureText(121, "The semaphore timeout period has expired"),
            "the Bluetooth device did not answer: is it switched on, in range and paired? (The "
            "semaphore timeout period has expired)");
  EXPECT_EQ(openFailureText(2, "The system cannot find the file specified"),
            "The system cannot find the file specified");
}

}  // namespace
