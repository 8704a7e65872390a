/* Test-only preload for Wine on a pty: a pty has no modem lines, so
 * TIOCMGET fails, and Wine then aborts every WaitCommEvent. Answering "all
 * lines off" instead lets the comm events work as on a real port. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
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
  return result;
}
