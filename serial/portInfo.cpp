#include "portInfo.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "os/portInfoSetupApi.h"

namespace {
constexpr const char* serialPrefix = "serial=";
constexpr const char* usbPrefix = "usb=";
}  // namespace

TSlotName TSlotName::parse(const std::string& text) {
  if (text.starts_with(serialPrefix))
    return {TKind::Serial, text.substr(std::char_traits<char>::length(serialPrefix))};
  if (text.starts_with(usbPrefix))
    return {TKind::Location, text.substr(std::char_traits<char>::length(usbPrefix))};
  return {TKind::Port, text};
}

std::string TSlotName::text() const {
  switch (Kind) {
    case TKind::Serial:
      return serialPrefix + Value;
    case TKind::Location:
      return usbPrefix + Value;
    case TKind::Port:
      break;
  }
  return Value;
}

std::optional<std::string> resolveSlot(const TSlotName& slot, const std::vector<TPortInfo>& ports,
                                       std::string& error) {
  if (!slot.byIdentity()) return slot.Value;
  std::vector<std::string> matches;
  for (const TPortInfo& info : ports) {
    const std::string& value =
        slot.Kind == TSlotName::TKind::Serial ? info.SerialNumber : info.Location;
    if (!value.empty() && value == slot.Value) matches.push_back(info.Port);
  }
  if (matches.size() == 1) return matches.front();
  if (matches.empty()) {
    error = "no adapter with " + slot.text() + " is plugged in";
  } else {
    // Two adapters with one serial number: flashing either could be wrong.
    error = "adapters on " + matches[0] + " and " + matches[1] + " both have " + slot.text();
  }
  return std::nullopt;
}

std::string identityText(const TPortInfo& info) {
  std::string text;
  const auto add = [&](const std::string& part) {
    if (part.empty()) return;
    if (!text.empty()) text += "  ";
    text += part;
  };
  add(info.Description);
  if (!info.VendorId.empty()) add(info.VendorId + ":" + info.ProductId);
  if (!info.SerialNumber.empty()) add(serialPrefix + info.SerialNumber);
  if (!info.Location.empty()) add(usbPrefix + info.Location);
  if (info.Bluetooth) add("Bluetooth");
  return text;
}

void applyUsbInstanceId(const std::string& instanceId, TPortInfo& info) {
  const auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string id = upper(instanceId);
  if (!id.starts_with("USB\\")) return;
  const auto hex = [&](const char* key) {
    const size_t at = id.find(key);
    if (at == std::string::npos || at + std::strlen(key) + 4 > id.size()) return std::string();
    std::string value = instanceId.substr(at + std::strlen(key), 4);
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value;
  };
  info.VendorId = hex("VID_");
  info.ProductId = hex("PID_");
  const size_t last = instanceId.rfind('\\');
  const std::string tail = instanceId.substr(last + 1);
  if (last > 4 && tail.find('&') == std::string::npos) info.SerialNumber = tail;
}

std::string usbPosition(const std::string& locationPath) {
  std::string controller;
  std::string ports;
  size_t at = 0;
  while (at < locationPath.size()) {
    const size_t open = locationPath.find('(', at);
    const size_t close = locationPath.find(')', open);
    if (open == std::string::npos || close == std::string::npos) break;
    const std::string kind = locationPath.substr(at, open - at);
    std::string value = locationPath.substr(open + 1, close - open - 1);
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (kind == "PCI" && ports.empty()) controller += (controller.empty() ? "" : ".") + value;
    if (kind == "USB") ports += (ports.empty() ? "" : ".") + value;
    at = close + 2;  // past ")#"
  }
  if (ports.empty()) return {};
  return controller.empty() ? ports : controller + "-" + ports;
}

void applyDeviceNodes(const std::vector<TDeviceNode>& nodes, TPortInfo& info) {
  std::string interface;
  for (const TDeviceNode& node : nodes) {
    if (node.InstanceId.starts_with("BTHENUM\\")) info.Bluetooth = true;
    if (!node.InstanceId.starts_with("USB\\")) continue;
    const size_t mi = node.InstanceId.find("&MI_");
    const size_t slash = node.InstanceId.find('\\', 4);
    if (mi != std::string::npos && mi < slash) {
      const std::string digits = node.InstanceId.substr(mi + 4, 2);
      char* end = nullptr;
      const long number = std::strtol(digits.c_str(), &end, 16);
      if (interface.empty() && end != digits.c_str()) interface = std::to_string(number);
      continue;
    }
    applyUsbInstanceId(node.InstanceId, info);
    info.Location = usbPosition(node.LocationPath);
    if (!interface.empty() && !info.Location.empty()) info.Location += ":" + interface;
    return;
  }
}
