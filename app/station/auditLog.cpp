#include "auditLog.h"

#include <cstdio>

#include "app/version.h"

namespace {
nlohmann::ordered_json textOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}
}  // namespace

const char* imageSha256() { return QUIL_IMAGE_SHA256; }

std::string utcTimeText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{floor<milliseconds>(time - day)};
  char text[40];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

std::string unitRecordLine(const TUnitRecord& record, const std::string& host) {
  nlohmann::ordered_json line = {
      {"time", utcTimeText(record.Finished)},
      {"host", host},
      {"slot", record.Slot},
      {"unit", record.Unit},
      {"adapter",
       {
           {"description", textOrNull(record.Adapter.Description)},
           {"vendorId", textOrNull(record.Adapter.VendorId)},
           {"productId", textOrNull(record.Adapter.ProductId)},
           {"serialNumber", textOrNull(record.Adapter.SerialNumber)},
           {"location", textOrNull(record.Adapter.Location)},
       }},
  };
  line.update(portResultJson(record.Result));
  line["firmwareVersion"] = version::firmware;
  line["imageSha256"] = imageSha256();
  std::string program = version::line("quilmatronx-flash");
  program.pop_back();
  line["program"] = program;
  // Whatever a device answered, the line stays valid UTF-8 and one line.
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
