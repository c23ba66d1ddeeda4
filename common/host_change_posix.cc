// POSIX side of what only QVADMIN's rule changes use (see host.h), kept
// apart as its Windows side must be.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "common/host.h"
#include "common/host_error.h"
#include "common/host_posix.h"

namespace {

bool system_failed() {
  host_failed(HostFailure::System, static_cast<unsigned long>(errno));
  return false;
}

std::string parent_of(const std::string& real) {
  const std::size_t slash = real.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : real.substr(0, slash);
}

// A rename or a removal lasts only once its directory is on the disk too.
void sync_directory(const std::string& real) {
  const int fd = open(parent_of(real).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

FileKind host_file_kind(const char* path) {
  if (host_names_device(path)) return FileKind::Other;
  struct stat st;
  if (lstat(map_path(path).c_str(), &st) != 0) return FileKind::Missing;
  if (S_ISLNK(st.st_mode)) return FileKind::Link;
  return S_ISREG(st.st_mode) ? FileKind::Regular : FileKind::Other;
}

bool host_read_file(const char* path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  if (host_names_device(path)) {
    host_failed(HostFailure::DeviceName);
    return false;
  }
  const int fd = open_regular(map_path(path), O_RDONLY);
  if (fd < 0) return false;
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0 || system_failed();
      break;
    }
    if (bytes.size() + static_cast<std::size_t>(n) > limit) {
      host_failed(HostFailure::TooLarge);
      ok = false;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return ok;
}

bool host_install_file(const char* path, const char* temporary, std::string_view bytes) {
  const std::string real = map_path(path);
  // The temporary goes beside the file as it is really named.
  const std::string temp_name = map_path(temporary);
  const std::size_t slash = real.rfind('/'), temp_slash = temp_name.rfind('/');
  const std::string temp = real.substr(0, slash == std::string::npos ? 0 : slash + 1) +
                           temp_name.substr(temp_slash == std::string::npos ? 0 : temp_slash + 1);
  struct stat old;
  const bool replacing = lstat(real.c_str(), &old) == 0;
  if (replacing && !S_ISREG(old.st_mode)) {
    host_failed(S_ISDIR(old.st_mode) ? HostFailure::Directory : HostFailure::NotAFile);
    return false;
  }
  if (unlink(temp.c_str()) != 0 && errno != ENOENT) return system_failed();
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return system_failed();
  // The owner can be kept only by the owner's own account or root; the mode
  // always. A file system may report a full disk only at fsync or close.
  bool ok = write_all(fd, bytes.data(), bytes.size()) &&
            (!replacing || ((fchown(fd, old.st_uid, old.st_gid) == 0 || geteuid() != 0) &&
                            fchmod(fd, old.st_mode & 07777) == 0)) &&
            fsync(fd) == 0;
  if (!ok) system_failed();
  ok = (close(fd) == 0 || system_failed()) && ok;
  ok = ok && (rename(temp.c_str(), real.c_str()) == 0 || system_failed());
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  sync_directory(real);
  return true;
}

bool host_remove_file(const char* path) {
  const std::string real = map_path(path);
  if (unlink(real.c_str()) != 0) return system_failed();
  sync_directory(real);
  return true;
}

bool host_make_directory(const char* path, bool& created) {
  const std::string real = map_path(path);
  created = mkdir(real.c_str(), 0777) == 0;
  if (created) {
    sync_directory(real);
    return true;
  }
  const int error = errno;
  struct stat st;
  if (error == EEXIST && stat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = error;
  return system_failed();
}

bool host_remove_empty_directory(const char* path) { return rmdir(map_path(path).c_str()) == 0; }

struct HostLock {
  int fd;
};

HostLock* host_lock(const char* path, int wait_ms) {
  const int fd = open_regular(map_path(path), O_RDWR | O_CREAT);
  if (fd < 0) return nullptr;
  for (int waited = 0;; waited += 20) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return new HostLock{fd};
    if (errno != EWOULDBLOCK && errno != EINTR) {
      system_failed();
      break;
    }
    if (waited >= wait_ms) {
      host_failed(HostFailure::Held);
      break;
    }
    usleep(20000);
  }
  close(fd);
  return nullptr;
}

void host_unlock(HostLock* lock) {
  if (!lock) return;
  close(lock->fd);
  delete lock;
}

// Looked up in /etc/passwd itself: the C library's lookup would tie a
// statically linked program to the shared libraries of the machine it was
// built on. An account known elsewhere (a directory service) is named by its
// number.
std::string host_account_name() {
  const std::string uid = std::to_string(geteuid());
  if (std::FILE* passwd = std::fopen("/etc/passwd", "r")) {
    char line[1024];
    while (std::fgets(line, sizeof line, passwd)) {
      const std::string entry = line;
      const std::size_t name_end = entry.find(':');
      const std::size_t uid_start = name_end == std::string::npos ? name_end : entry.find(':', name_end + 1);
      if (uid_start == std::string::npos) continue;
      const std::size_t uid_end = entry.find(':', uid_start + 1);
      if (entry.compare(uid_start + 1, uid_end - uid_start - 1, uid) == 0) {
        std::fclose(passwd);
        return entry.substr(0, name_end);
      }
    }
    std::fclose(passwd);
  }
  return "uid " + uid;
}

bool host_input_is_terminal() { return isatty(0) == 1; }

void host_sleep_ms(int ms) {
  timespec left{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
