// The station's audit log: one JSON object per unit attempt, one line each
// (JSON Lines), appended whole and synced to the disk before the slot arms
// again; earlier lines are never touched.
#pragma once

#include <chrono>
#include <string>

#include "app/flash/flashReport.h"
#include "app/station/appendFile.h"
#include "serial/portInfo.h"

// One unit attempt on one slot.
struct TUnitRecord {
  std::string Slot;    // as the operator named it
  int Unit = 0;        // the slot's units, counted from 1
  TPortInfo Adapter;   // Port: the port it was flashed on
  TPortResult Result;  // as --report tells it
  std::chrono::system_clock::time_point Finished;
};

// The record's line, line end included.
std::string unitRecordLine(const TUnitRecord& record, const std::string& host);

// The SHA-256 of the firmware image this program writes, hexadecimal.
const char* imageSha256();

// "2026-12-08T14:49:42.123Z".
std::string utcTimeText(std::chrono::system_clock::time_point time);
