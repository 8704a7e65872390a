#include "portInfo.h"

#include <cctype>
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
  std::string position;
  size_t at = 0;
  while ((at = locationPath.find("#USB(", at)) != std::string::npos) {
    at += 5;
    const size_t end = locationPath.find(')', at);
    if (end == std::string::npos) break;
    position += (position.empty() ? "" : ".") + locationPath.substr(at, end - at);
  }
  return position;
}
