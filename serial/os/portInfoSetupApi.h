// What the Windows reader makes of the texts SetupAPI gives; plain text
// work, so it is tested on every platform against texts Windows returns.
#pragma once

#include <string>

#include "serial/portInfo.h"

#include <vector>

// Fills the vendor and product id and the serial number from a USB device
// instance id ("USB\VID_0403&PID_6001\A50285BI"). An id that is not a USB
// device's leaves them empty; a last part with '&' in it was made up by
// Windows for an adapter without a serial number and is not one.
void applyUsbInstanceId(const std::string& instanceId, TPortInfo& info);

// The USB position from a device's first location path: the host
// controller's PCI device (behind any bridges) and the ports from its root
// hub down ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(1)" gives
// "1400-2.1"); empty when the path has no USB part.
std::string usbPosition(const std::string& locationPath);

// A device node as SetupAPI describes it.
struct TDeviceNode {
  std::string InstanceId;
  std::string LocationPath;  // the first of its location paths
};

// Fills what the nodes from a port's own device up towards the root say of
// its adapter. The USB identity and position are the first USB device's
// at or above the port; an interface of a composite device ("...&MI_01\...",
// a multi-port chip, a CDC device with an interface association) has no
// serial number of its own, so its device above gives them, and the
// interface number goes after the position ("1400-2.1:1"). A node under
// BTHENUM makes the port a Bluetooth one.
void applyDeviceNodes(const std::vector<TDeviceNode>& nodes, TPortInfo& info);
