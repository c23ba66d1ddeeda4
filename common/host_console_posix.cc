// POSIX side of what only QVADMIN's web console uses (see host.h).
#include <sys/random.h>

#include <cerrno>
#include <mutex>

#include "common/host.h"

bool host_random_bytes(unsigned char* out, std::size_t size) {
  while (size > 0) {
    const ssize_t n = getrandom(out, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

struct HostThreadLock::State {
  std::mutex mutex;
};

HostThreadLock::HostThreadLock() : state_(std::make_unique<State>()) {}
HostThreadLock::~HostThreadLock() = default;
void HostThreadLock::lock() { state_->mutex.lock(); }
void HostThreadLock::unlock() { state_->mutex.unlock(); }
