// Standard descriptors made valid (see StdDescriptors.h).
#include "base/StdDescriptors.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace zub {

void EnsureStandardDescriptors() {
#if !defined(_WIN32)
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() hands out the lowest free number: this one.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
#endif
}

}  // namespace zub
