#include "tools/devsim/lineSettings.h"

// termios2 with BOTHER sets any rate exactly; its header clashes with the C
// library's <termios.h>, so this file keeps to the kernel's definitions.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>
#include <cstring>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace devsim {

bool configureLine(int fd, unsigned baud, std::string& error) {
  termios2 settings{};
  if (ioctl(fd, TCGETS2, &settings) != 0) {
    error = std::string("cannot read the line settings: ") + std::strerror(errno);
    return false;
  }
  settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                             ICRNL | IXON | IXOFF | IXANY);
  settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD);
  settings.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER;
  settings.c_ispeed = baud;
  settings.c_ospeed = baud;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (ioctl(fd, TCSETS2, &settings) != 0) {
    error = std::string("cannot set the line to raw mode at ") + std::to_string(baud) +
            " Bd: " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace devsim
