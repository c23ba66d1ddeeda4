// Windows side of what only QVADMIN's web console uses (see host.h).
#define _CRT_RAND_S  // declares rand_s
#include <io.h>
#include <stdlib.h>
#include <windows.h>

#include <cstring>

#include "common/host.h"

// rand_s asks the system's RtlGenRandom, which mingw-w64's C runtime finds
// when first asked, so the executable imports nothing beyond msvcrt for it.
bool host_random_bytes(unsigned char* out, std::size_t size) {
  while (size > 0) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) return false;
    const std::size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(out, &value, n);
    out += n;
    size -= n;
  }
  return true;
}

struct HostThreadLock::State {
  SRWLOCK lock = SRWLOCK_INIT;
};

HostThreadLock::HostThreadLock() : state_(std::make_unique<State>()) {}
HostThreadLock::~HostThreadLock() = default;
void HostThreadLock::lock() { AcquireSRWLockExclusive(&state_->lock); }
void HostThreadLock::unlock() { ReleaseSRWLockExclusive(&state_->lock); }
