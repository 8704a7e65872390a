// The Windows reader: the Ports class through SetupAPI and the
// configuration manager. A port's own device is often a child of the USB
// device (a vendor's bus driver or a composite device's interface between
// them): the nodes up from it say what the adapter is (applyDeviceNodes).
#include <windows.h>
// After windows.h:
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include "portInfoSetupApi.h"
#include "runtime/windowsText.h"

namespace {

// A text property of a device node; of a list, the first entry.
std::string nodeProperty(DEVINST node, ULONG property) {
  wchar_t buffer[1024] = {};
  ULONG length = sizeof buffer - sizeof(wchar_t) * 2;
  if (CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, buffer, &length, 0) != CR_SUCCESS)
    return {};
  return utf8FromWide(buffer);
}

std::string instanceId(DEVINST node) {
  wchar_t buffer[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_IDW(node, buffer, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
  return utf8FromWide(buffer);
}

std::string portName(HDEVINFO set, SP_DEVINFO_DATA& data) {
  HKEY key = SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  wchar_t buffer[64] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  const bool read = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return read && type == REG_SZ ? utf8FromWide(buffer) : std::string();
}

class TSetupApiPortInfo final : public TPortInfoSource {
 public:
  std::vector<TPortInfo> ports() override {
    std::vector<TPortInfo> ports;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
      TPortInfo info;
      info.Port = portName(set, data);
      // The Ports class also holds printer ports.
      if (!info.Port.starts_with("COM")) continue;
      info.Description = nodeProperty(data.DevInst, CM_DRP_FRIENDLYNAME);
      std::vector<TDeviceNode> nodes;
      DEVINST node = data.DevInst;
      // The port, a vendor's bus driver, an interface, the USB device.
      for (int level = 0; level < 5; ++level) {
        nodes.push_back({instanceId(node), nodeProperty(node, CM_DRP_LOCATION_PATHS)});
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
        node = parent;
      }
      applyDeviceNodes(nodes, info);
      ports.push_back(std::move(info));
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
  }
};

}  // namespace

TPortInfoSource& platformPortInfo() {
  static TSetupApiPortInfo source;
  return source;
}
