// Any host bytes against the simulator's protocol, fault modes picked from the input: it must never
// read past what it received, count more than the image, or answer a block it has not received.
#include <cstdint>
#include <cstdlib>

#include "tools/devsim/deviceProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  devsim::SimulatorOptions options;
  options.wrongCrc = devsim::AnswerPick::at(data[0] % 4);
  options.split = devsim::AnswerPick::at(data[1] % 4);
  options.earlyFinal = data[0] >> 6;
  options.plainFinal = (data[1] & 0x80) != 0;
  devsim::DeviceProtocol protocol(options, [](const std::string&) {});
  for (size_t i = 2; i < size; ++i) {
    const devsim::DeviceStep step = protocol.take(data[i]);
    if (protocol.received().size() >
            static_cast<size_t>(devsim::kBlockCount * devsim::kBlockSize) ||
        (step.kind == devsim::DeviceStep::Kind::Answer && step.answer > protocol.blocks())) {
      std::abort();
    }
  }
  return 0;
}
