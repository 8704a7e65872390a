// The least a host can do for an upload, as the yardstick for the CPU time
// of quilmatronx-flash (bench/programs.py --cpu): the same exchange with
// the device and the same one write() per image byte, without schemas or
// threads. "VERS", the answer taken until a 50 ms quiet gap, then the
// embedded image block by block, each block's answer checked against the
// running CRC-16 (the last one followed by "FZ"), then "PUSK".
//   direct_upload PORT     exit 0 when the device took the image, else 1
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "runtime/memoryStream.h"
#include "tools/devsim/crc16Modbus.h"
#include "tools/devsim/simulatorOptions.h"

namespace {

constexpr int answerMs = 3000;  // the product's watchdog: three silent seconds
constexpr int quietMs = 50;     // the product's quiet gap after the probe answer

bool writeAll(int fd, const std::string& bytes) {
  return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// Bytes received until count have come, or nothing came for answerMs
// before the first byte or for gapMs after one.
std::string receive(int fd, size_t count, int gapMs = answerMs) {
  std::string bytes;
  char buffer[64];
  while (bytes.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, bytes.empty() ? answerMs : gapMs) <= 0) break;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

bool upload(int fd, std::string_view image) {
  if (!writeAll(fd, "VERS") || receive(fd, SIZE_MAX, quietMs).empty()) {
    std::fprintf(stderr, "no answer to VERS\n");
    return false;
  }
  uint16_t crc = devsim::kCrcInitial;
  for (int block = 1; block <= devsim::kBlockCount; ++block) {
    for (int i = 0; i < devsim::kBlockSize; ++i) {
      const char byte = image[static_cast<size_t>((block - 1) * devsim::kBlockSize + i)];
      crc = devsim::crc16Modbus(crc, static_cast<uint8_t>(byte));
      if (::write(fd, &byte, 1) != 1) {
        std::fprintf(stderr, "a write failed in block %d\n", block);
        return false;
      }
    }
    std::string expected{static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
    if (block == devsim::kBlockCount) expected += "FZ";
    if (receive(fd, expected.size()) != expected) {
      std::fprintf(stderr, "block %d: wrong or no answer\n", block);
      return false;
    }
  }
  return writeAll(fd, "PUSK") && ::tcdrain(fd) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: direct_upload PORT\n");
    return 1;
  }
  const std::unique_ptr<TMemoryStream> image(loadResourceStream("STREAM0"));
  if (image->size() != static_cast<uint32_t>(devsim::kBlockCount * devsim::kBlockSize)) {
    std::fprintf(stderr, "the embedded image is not %d blocks\n", devsim::kBlockCount);
    return 1;
  }
  const int fd = ::open(argv[1], O_RDWR | O_NOCTTY);
  termios t{};
  if (fd < 0 || ::tcgetattr(fd, &t) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  ::cfsetspeed(&t, B38400);
  const bool done = ::tcsetattr(fd, TCSANOW, &t) == 0 && upload(fd, image->bytes());
  ::close(fd);
  return done ? 0 : 1;
}
