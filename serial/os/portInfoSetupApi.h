// What the Windows reader makes of the texts SetupAPI gives; plain text
// work, so it is tested on every platform against texts Windows returns.
#pragma once

#include <string>

#include "serial/portInfo.h"

// Fills the vendor and product id and the serial number from a USB device
// instance id ("USB\VID_0403&PID_6001\A50285BI"). An id that is not a USB
// device's leaves them empty; a last part with '&' in it was made up by
// Windows for an adapter without a serial number and is not one.
void applyUsbInstanceId(const std::string& instanceId, TPortInfo& info);

// The USB position from a device's first location path
// ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(1)" gives "2.1", the ports
// from the root hub down); empty when the path has no USB part.
std::string usbPosition(const std::string& locationPath);
