// POSIX side of the host layer. Path texts arrive in Windows form: every "\"
// becomes "/", each component loses the trailing dots and spaces that
// Windows would drop, and a component with no entry of exactly its name is
// matched against its directory's entries without regard to ASCII letter
// case, the first such entry in byte order winning. A component that matches
// nothing is used as written, so a new file gets the name as built.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>
#include <unordered_map>

#include "common/host.h"
#include "common/host_error.h"
#include "common/host_posix.h"
#include "common/text.h"

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// A directory's names by their upper-case form, each the first name of that
// form in byte order, kept while the directory stays as it was (the same
// inode and modification time): a program that looks up many names in one
// large directory (replay, the rule files of every recipient in a month of
// logs) then lists it once, not once a name. A directory is listed into
// this only when a second name is looked up in it, so a checker run, which
// looks up one or two, pays nothing for it; the names kept are bounded. A
// directory changed within the last two seconds is not kept: a file system
// may count its modification times in whole seconds.
class Listings {
 public:
  // The entry of dir whose name equals component without regard to case, or
  // the component itself when there is none.
  std::string match(const std::string& dir, const std::string& component) {
    const std::string path = dir.empty() ? "." : dir;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return component;
    if (listings_.size() >= kMaxDirectories && !listings_.count(path)) {
      listings_.clear();
      names_ = 0;
    }
    Listing& listing = listings_[path];
    if (!listing.same(st)) {
      names_ -= listing.names.size();
      listing = Listing{st.st_dev, st.st_ino, st.st_mtim, 0, false, {}};
    }
    const bool settled = st.st_mtim.tv_sec + 2 < std::time(nullptr);
    if (++listing.lookups >= 2 && !listing.listed && settled && names_ < kMaxNames) {
      if (!list(path, listing.names)) return component;
      listing.listed = true;
      names_ += listing.names.size();
    }
    if (!listing.listed) return scan(path, component);
    const auto found = listing.names.find(upper_case(component));
    return found == listing.names.end() ? component : found->second;
  }

 private:
  static constexpr std::size_t kMaxNames = 1 << 20, kMaxDirectories = 4096;
  struct Listing {
    dev_t device;
    ino_t inode;
    timespec modified;
    int lookups;
    bool listed;
    std::unordered_map<std::string, std::string> names;
    bool same(const struct stat& st) const {
      return device == st.st_dev && inode == st.st_ino && modified.tv_sec == st.st_mtim.tv_sec &&
             modified.tv_nsec == st.st_mtim.tv_nsec;
    }
  };

  static bool list(const std::string& path, std::unordered_map<std::string, std::string>& names) {
    DIR* d = opendir(path.c_str());
    if (!d) return false;
    while (const dirent* e = readdir(d)) {
      const auto [at, added] = names.emplace(upper_case(e->d_name), e->d_name);
      if (!added && at->second.compare(e->d_name) > 0) at->second = e->d_name;
    }
    closedir(d);
    return true;
  }

  static std::string scan(const std::string& path, const std::string& component) {
    DIR* d = opendir(path.c_str());
    if (!d) return component;
    std::string best;
    bool found = false;
    while (const dirent* e = readdir(d)) {
      if (same_ignoring_case(e->d_name, component.c_str()) && (!found || best.compare(e->d_name) > 0)) {
        best = e->d_name;
        found = true;
      }
    }
    closedir(d);
    return found ? best : component;
  }

  std::unordered_map<std::string, Listing> listings_;
  std::size_t names_ = 0;
};

Listings g_listings;

// A component as Windows reads it: an inner one loses one trailing dot
// unless it ends in two ("SHARED." is SHARED), the last one every trailing
// dot and space ("RULES.QUORVANT. ." is RULES.QUORVANT).
std::string windows_component(std::string component, bool last) {
  if (component == "." || component == "..") return component;
  if (last) {
    while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.pop_back();
  } else if (component.size() >= 2 && component.back() == '.' && component[component.size() - 2] != '.') {
    component.pop_back();
  }
  return component;
}

int refuse(const struct stat& st) {
  host_failed(S_ISDIR(st.st_mode) ? HostFailure::Directory : HostFailure::NotAFile);
  errno = EINVAL;
  return -1;
}

}  // namespace

std::string map_path(const char* text) {
  std::string path(text);
  for (char& c : path)
    if (c == '\\') c = '/';
  std::string out;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t slash = path.find('/', i);
    if (slash == std::string::npos) slash = path.size();
    std::string component = windows_component(path.substr(i, slash - i), slash == path.size());
    if (!component.empty() && component != "." && component != "..") {
      if (!exists(out + component)) component = g_listings.match(out, component);
    }
    out += component;
    if (slash < path.size()) out += '/';
    i = slash + 1;
  }
  return out;
}

// Opens the file only when it is a regular one: a named pipe would block the
// open (or a later write) for ever, and a device must never be opened at
// all. Without blocking, in case the name changes hands in between.
int open_regular(const std::string& path, int flags) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return refuse(st);
  const int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    host_failed(HostFailure::System, static_cast<unsigned long>(errno));
    return -1;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return refuse(st);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool write_all(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void host_open_standard_streams() {
  // open() takes the lowest free number, so the closed ones fill in order.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDWR);
    if (opened > fd) close(opened);  // cannot be: fd was the lowest free number
  }
}

void host_prepare_arguments(int argc, char** argv) {
  for (int i = 0; i < argc; ++i)
    for (char* p = argv[i]; *p; ++p)
      if (*p == '/') *p = '\\';
}

std::string host_path_argument(const char* word) {
  std::string path(word);
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool host_list_directory(const char* path, std::vector<DirectoryEntry>& entries) {
  const std::string real = map_path(path);
  DIR* d = opendir(real.empty() ? "." : real.c_str());
  if (!d) {
    host_failed(HostFailure::System, static_cast<unsigned long>(errno));
    return false;
  }
  entries.clear();
  const std::string prefix = real.empty() || real.back() == '/' ? real : real + "/";
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    DirectoryEntry entry;
    entry.name = name;
    struct stat st;
    if (lstat((prefix + name).c_str(), &st) == 0) entry.is_directory = S_ISDIR(st.st_mode);
    if (stat((prefix + name).c_str(), &st) == 0) entry.is_file = S_ISREG(st.st_mode);
    entries.push_back(std::move(entry));
  }
  closedir(d);
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return true;
}

// A console whose reader has gone makes writes fail instead of ending the
// process by a signal, so the exit code stays one the caller knows.
void host_prepare_console() { std::signal(SIGPIPE, SIG_IGN); }

const char* host_program_path(char** argv) { return argv[0] ? argv[0] : ""; }

std::FILE* host_standard_input() { return stdin; }

std::string host_native_path(const char* path) {
  std::string native;
  for (const char c : map_path(path))
    if (c != '/' || native.empty() || native.back() != '/') native += c;
  return native;
}

std::string host_system_text(unsigned long system_code) { return std::strerror(static_cast<int>(system_code)); }

bool host_system_missing(unsigned long system_code) { return system_code == ENOENT || system_code == ENOTDIR; }

std::FILE* host_open_read(const char* path) {
  if (host_names_device(path)) {
    host_failed(HostFailure::DeviceName);
    return nullptr;
  }
  const int fd = open_regular(map_path(path), O_RDONLY);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "rb");
  if (!f) close(fd);
  return f;
}

bool host_append(const char* path, const char* bytes, std::size_t size) {
  const int fd = open_regular(map_path(path), O_WRONLY | O_APPEND | O_CREAT);
  if (fd < 0) return false;
  ssize_t written;
  do written = write(fd, bytes, size);
  while (written < 0 && errno == EINTR);
  if (written > 0 && static_cast<std::size_t>(written) < size) {
    // Cut short (a full disk): the piece is taken back while it is still the
    // end of the file, so that the next line starts on a line of its own.
    // (Looking at the last byte before each write instead would catch
    // concurrent runs in the middle of their writes.)
    const off_t end = lseek(fd, 0, SEEK_CUR);
    struct stat st;
    if (end >= written && fstat(fd, &st) == 0 && st.st_size == end) ftruncate(fd, end - written);
  }
  close(fd);
  return written == static_cast<ssize_t>(size);
}

// Mapped windows are guarded against a file cut short under them: touching a
// page past the file's new end raises SIGBUS, which would end the program.
// The handler puts zero pages in place of the window's rest instead, so the
// access goes on and the reader sees zero bytes there. A SIGBUS elsewhere gets
// the action there was before.
namespace {

struct GuardedWindow {
  bool taken = false;
  std::atomic<char*> begin{nullptr}, end{nullptr};
};
GuardedWindow guarded_windows[8];
struct sigaction bus_action_before;
int open_maps = 0;
std::size_t page_size = 0;

void on_bus_error(int, siginfo_t* info, void*) {
  char* at = static_cast<char*>(info->si_addr);
  for (GuardedWindow& w : guarded_windows) {
    char* begin = w.begin.load();
    char* end = w.end.load();
    if (begin == nullptr || at < begin || at >= end) continue;
    char* page = begin + static_cast<std::size_t>(at - begin) / page_size * page_size;
    if (mmap(page, static_cast<std::size_t>(end - page), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
             -1, 0) != MAP_FAILED)
      return;
    break;
  }
  sigaction(SIGBUS, &bus_action_before, nullptr);  // the access faults again, as it would have
}

}  // namespace

struct HostFileMap {
  int fd;
  GuardedWindow* guard;  // nullptr when all are taken: the windows go unguarded
  char* view = nullptr;
  std::size_t size = 0;

  void unmap() {
    if (!view) return;
    if (guard) {
      guard->begin.store(nullptr);
      guard->end.store(nullptr);
    }
    munmap(view, size);
    view = nullptr;
    size = 0;
  }
};

std::size_t host_map_granularity() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

HostFileMap* host_map_open(std::FILE* file, std::uint64_t& start) {
  const int fd = fileno(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  const off_t position = ftello(file);
  if (position < 0) return nullptr;
  GuardedWindow* slot = nullptr;
  for (GuardedWindow& w : guarded_windows)
    if (!w.taken) {
      slot = &w;
      slot->taken = true;
      break;
    }
  if (open_maps++ == 0) {
    page_size = host_map_granularity();
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &bus_action_before);
  }
  start = static_cast<std::uint64_t>(position);
  return new HostFileMap{fd, slot};
}

bool host_map_window(HostFileMap* map, std::uint64_t offset, const char*& data, std::size_t& size) {
  map->unmap();
  data = nullptr;
  struct stat st;
  if (fstat(map->fd, &st) != 0) return false;
  const auto file_size = static_cast<std::uint64_t>(st.st_size);
  if (offset >= file_size) {
    size = 0;
    return true;
  }
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, file_size - offset));
  void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, map->fd, static_cast<off_t>(offset));
  if (view == MAP_FAILED) return false;
  map->view = static_cast<char*>(view);
  map->size = size;
  if (map->guard) {
    map->guard->end.store(map->view + size);
    map->guard->begin.store(map->view);
  }
  data = map->view;
  return true;
}

void host_map_close(HostFileMap* map) {
  if (!map) return;
  map->unmap();
  if (map->guard) map->guard->taken = false;
  delete map;
  if (--open_maps == 0) sigaction(SIGBUS, &bus_action_before, nullptr);
}

ReplaceOutcome host_replace_file(const char* path, const char* bytes, std::size_t size, Permissions permissions) {
  const std::string real = map_path(path);
  struct stat st;
  const bool exists = lstat(real.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    refuse(st);
    return ReplaceOutcome::NotCreated;
  }
  std::string temporary;
  int fd = -1;
  for (int n = 0; fd < 0 && n < 100; ++n) {
    temporary = real + "." + std::to_string(getpid()) + "-" + std::to_string(n) + ".tmp";
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    host_failed(HostFailure::System, static_cast<unsigned long>(errno));
    return ReplaceOutcome::NotCreated;
  }
  if (permissions == Permissions::Keep && exists && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
  // A file system may report a full disk only when the data goes out, at
  // fsync or close.
  bool written = write_all(fd, bytes, size) && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (written && rename(temporary.c_str(), real.c_str()) == 0) return ReplaceOutcome::Replaced;
  host_failed(HostFailure::System, static_cast<unsigned long>(errno));
  unlink(temporary.c_str());
  return ReplaceOutcome::NotWritten;
}

namespace {

LocalTime local_time(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

LocalTime host_local_time() { return local_time(std::time(nullptr)); }

bool host_modified_time(std::FILE* file, LocalTime& time) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  time = local_time(st.st_mtime);
  return true;
}

bool host_directory_identity(const char* path, FileIdentity& identity) {
  const std::string real = map_path(path);
  struct stat st;
  if (stat(real.empty() ? "." : real.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

bool host_file_identity(std::FILE* file, FileIdentity& identity) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

int host_utc_offset_minutes() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return static_cast<int>(tm.tm_gmtoff / 60);
}

struct HostThread {
  pthread_t id;
  void (*work)(void*);
  void* context;
};

namespace {
void* run_host_thread(void* thread) {
  auto* t = static_cast<HostThread*>(thread);
  t->work(t->context);
  return nullptr;
}
}  // namespace

HostThread* host_start_thread(void (*work)(void*), void* context) {
  auto* thread = new HostThread{{}, work, context};
  if (pthread_create(&thread->id, nullptr, run_host_thread, thread) == 0) return thread;
  delete thread;
  return nullptr;
}

void host_join_thread(HostThread* thread) {
  pthread_join(thread->id, nullptr);
  delete thread;
}

struct HostTurns::State {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t passed = PTHREAD_COND_INITIALIZER;
  std::size_t turn = 0;
};

HostTurns::HostTurns() : state_(std::make_unique<State>()) {}
HostTurns::~HostTurns() = default;

void HostTurns::wait_for(std::size_t turn) {
  pthread_mutex_lock(&state_->lock);
  while (state_->turn != turn) pthread_cond_wait(&state_->passed, &state_->lock);
  pthread_mutex_unlock(&state_->lock);
}

void HostTurns::pass() {
  pthread_mutex_lock(&state_->lock);
  ++state_->turn;
  pthread_cond_broadcast(&state_->passed);
  pthread_mutex_unlock(&state_->lock);
}

bool host_seek(std::FILE* file, std::uint64_t offset) {
  return offset <= static_cast<std::uint64_t>(INT64_MAX) && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool host_file_size(std::FILE* file, std::uint64_t& size) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}
