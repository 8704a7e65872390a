/* Test-only preload for programs on a pty, which is no serial port:
 * - a pty has no modem lines, so TIOCMGET fails, and Wine then aborts every
 *   WaitCommEvent. Answering "all lines off" instead lets the comm events
 *   work as on a real port.
 * - a pty never holds bytes for the line, so a close never waits for a
 *   drain. With QUIL_HELD_DRAIN set, 100 bytes stay queued for good, as on
 *   an adapter whose line is held. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdlib.h>
#include <sys/ioctl.h>

int ioctl(int fd, unsigned long request, ...) {
  static int (*real_ioctl)(int, unsigned long, ...);
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (real_ioctl == NULL) real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  int saved = errno;
  int result = real_ioctl(fd, request, argument);
  if (result < 0 && request == TIOCMGET && (errno == ENOTTY || errno == EINVAL)) {
    *(int*)argument = 0;
    errno = saved;
    return 0;
  }
  if (result == 0 && request == TIOCOUTQ && getenv("QUIL_HELD_DRAIN") != NULL)
    *(int*)argument = 100;
  return result;
}
