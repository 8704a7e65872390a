// What one attempt on a port came to, told from its schema's record and
// outcome: the same words for the run's table, the report and the
// station's log.
#pragma once

#include <chrono>
#include <string>

#include "app/flash/flashReport.h"
#include "app/flash/flashSchema.h"

// What the driver of an attempt knows besides the schema.
struct TPortAttempt {
  std::chrono::steady_clock::time_point started{};
  std::string openError;  // why the port did not open
  bool vanishedWhileProbing = false;
  bool vanishedWhileUploading = false;
  bool uploading = false;
};

TPortResult portResult(const TFlashSchema& schema, const TPortAttempt& attempt);
