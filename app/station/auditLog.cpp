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
  line["removal"] = record.Removal;
  // Whatever a device answered, the line stays valid UTF-8 and one line.
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::chrono::system_clock::time_point wallTimeOf(std::chrono::steady_clock::time_point moment) {
  using namespace std::chrono;
  return system_clock::now() - duration_cast<system_clock::duration>(steady_clock::now() - moment);
}

TAuditLog::TAuditLog(TRecordSink& sink, std::chrono::milliseconds deadline)
    : sink_(sink), deadline_(deadline), writer_(&TAuditLog::writeLoop, this) {}

TAuditLog::~TAuditLog() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
}

uint64_t TAuditLog::add(std::string line) {
  std::lock_guard guard(lock_);
  if (!failure_.empty()) {
    unwritten_.push_back(std::move(line));
  } else {
    queue_.push_back({std::move(line), Clock::now()});
    changed_.notify_all();
  }
  return ++added_;
}

bool TAuditLog::written(uint64_t record) const {
  std::lock_guard guard(lock_);
  return record <= writtenUpTo_;
}

std::string TAuditLog::check(std::vector<std::string>& unwritten) {
  std::lock_guard guard(lock_);
  checkDeadline(Clock::now());
  for (std::string& line : unwritten_) unwritten.push_back(std::move(line));
  unwritten_.clear();
  return failure_;
}

void TAuditLog::settle() {
  std::unique_lock guard(lock_);
  while (failure_.empty() && !queue_.empty()) {
    changed_.wait_until(guard, queue_.front().handedOver + deadline_);
    checkDeadline(Clock::now());
  }
}

bool TAuditLog::stop() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
    if (writing_) return false;
  }
  changed_.notify_all();
  writer_.join();
  return true;
}

void TAuditLog::checkDeadline(Clock::time_point now) {
  if (failure_.empty() && !queue_.empty() && now - queue_.front().handedOver >= deadline_) {
    fail("the disk did not take a record within " +
         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(deadline_).count()) +
         " s");
  }
}

void TAuditLog::fail(const std::string& why) {
  failure_ = why;
  for (TPending& pending : queue_) unwritten_.push_back(std::move(pending.line));
  queue_.clear();
  changed_.notify_all();
}

void TAuditLog::writeLoop() {
  std::unique_lock guard(lock_);
  for (;;) {
    changed_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    // The front stays queued, and counts against the deadline, until it is
    // on the disk.
    writing_ = true;
    const std::string line = queue_.front().line;
    guard.unlock();
    std::string error;
    const bool kept = sink_.append(line, error);
    guard.lock();
    writing_ = false;
    // A log that failed meanwhile has handed this record back already.
    if (!failure_.empty()) continue;
    if (!kept) {
      fail(error);
      continue;
    }
    queue_.pop_front();
    ++writtenUpTo_;
    changed_.notify_all();
  }
}
