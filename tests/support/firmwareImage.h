// The firmware image as the programs carry it: the embedded STREAM0 (link
// quil_resources).
#pragma once

#include <memory>
#include <string>

#include "runtime/memoryStream.h"

inline std::string firmwareImage() {
  const std::unique_ptr<TMemoryStream> image(loadResourceStream("STREAM0"));
  return std::string(image->bytes());
}
