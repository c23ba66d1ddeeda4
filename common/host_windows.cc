// Windows side of the host layer. Arguments and path texts are used exactly
// as Windows gives them: a "/" is an ordinary character, and the file system
// itself matches names without regard to letter case. Files are opened in
// binary mode; the text-mode conventions live above this layer.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/host.h"
#include "common/host_error.h"
#include "common/host_windows.h"

namespace {

// Appenders take turns on one byte far beyond any real end of the file, see
// host_append. Any process that may read the log can lock that byte as well,
// so the turn is only tried, again and again, and given up when waiting for
// it has cost the run about a second in all while the log did not grow: a
// process that just holds the lock stalls every appender, whereas runs that
// take turns with each other keep the log growing and never give up their
// turns (a busy server has dozens of them at once). However busy the server,
// no run waits more than ten seconds in all. Once given up, the turn is
// tried once more for each later line of the run, without waiting.
DWORD g_stalled_wait_left_ms = 1000;
DWORD g_wait_left_ms = 10000;

LONGLONG file_size(HANDLE h) {
  LARGE_INTEGER size;
  return GetFileSizeEx(h, &size) ? size.QuadPart : -1;
}

void spend(DWORD& left, DWORD ms) { left -= ms < left ? ms : left; }

bool take_turn(HANDLE h, OVERLAPPED& turn) {
  LONGLONG seen = file_size(h);
  for (DWORD pause = 1;; pause = pause < 16 ? pause * 2 : 16) {
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn)) return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION || g_stalled_wait_left_ms == 0 || g_wait_left_ms == 0) return false;
    const DWORD start = GetTickCount();
    Sleep(pause);
    // A sleep may last longer than asked (the clock ticks in steps of about
    // 16 ms); whichever is longer is spent.
    DWORD spent = GetTickCount() - start;
    if (spent < pause) spent = pause;
    const LONGLONG now = file_size(h);
    if (now == seen) spend(g_stalled_wait_left_ms, spent);
    spend(g_wait_left_ms, spent);
    seen = now;
  }
}

bool ends_without_line_feed(HANDLE h) {
  const LONGLONG size = file_size(h);
  if (size <= 0) return false;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>((size - 1) & 0xFFFFFFFF);
  at.OffsetHigh = static_cast<DWORD>((size - 1) >> 32);
  char last;
  DWORD n = 0;
  return ReadFile(h, &last, 1, &n, &at) && n == 1 && last != '\n';
}

// Remembers why a path could not be opened: a directory refuses to open
// with "access denied", which would send the reader looking for rights.
void failed_at(const char* path) {
  const DWORD code = GetLastError();
  const DWORD attributes = code == ERROR_ACCESS_DENIED ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    host_failed(HostFailure::Directory);
  else
    host_failed(HostFailure::System, code);
}

std::FILE* stream_for(HANDLE h, int flags, const char* mode) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (!is_disk_file(h)) {
    host_failed(HostFailure::NotAFile);
    CloseHandle(h);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, mode);
  if (!f) _close(fd);  // closes the handle too
  return f;
}

}  // namespace

bool write_all(HANDLE h, const char* bytes, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(h, bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

// Nothing to do: the C runtime marks descriptors 0, 1 and 2 as taken even
// when the process has no standard handles, so no file gets their numbers.
void host_open_standard_streams() {}

void host_prepare_arguments(int, char**) {}

std::string host_path_argument(const char* word) { return word; }

bool host_list_directory(const char* path, std::vector<DirectoryEntry>& entries) {
  std::string pattern(path);
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != ':') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    host_failed(HostFailure::System, GetLastError());
    return false;
  }
  entries.clear();
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    DirectoryEntry entry;
    entry.name = name;
    const DWORD attributes = found.dwFileAttributes;
    const bool link = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
    entry.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) && !link;
    entry.is_file = !(attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_DEVICE);
    entries.push_back(std::move(entry));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return true;
}

void host_prepare_console() {
  // A filter running as a service may start the checker with no standard
  // output at all; the C runtime would take _setmode on it for a fault.
  // (Writing to a pipe whose reader has gone just fails on Windows.)
  const struct {
    DWORD handle;
    std::FILE* stream;
  } streams[] = {{STD_OUTPUT_HANDLE, stdout}, {STD_ERROR_HANDLE, stderr}};
  for (const auto& s : streams) {
    const HANDLE h = GetStdHandle(s.handle);
    const int fd = _fileno(s.stream);
    if (h != nullptr && h != INVALID_HANDLE_VALUE && fd >= 0) _setmode(fd, _O_BINARY);
  }
}

// The path of the running executable as Windows records it, rather than the
// first command-line word: that word is whatever the caller chose to write
// (a bare name found on the search path, a path with forward slashes, even
// another name altogether), while the rule files and the log belong beside
// the program itself. The command-line word serves only if the query fails.
const char* host_program_path(char** argv) {
  static char path[32768];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n > 0 && n < sizeof path) return path;
  return argv[0] ? argv[0] : "";
}

std::FILE* host_standard_input() {
  const int fd = _fileno(stdin);
  const HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (h != nullptr && h != INVALID_HANDLE_VALUE && fd >= 0) _setmode(fd, _O_BINARY);
  return stdin;
}

std::string host_native_path(const char* path) { return path; }

std::string host_system_text(unsigned long system_code) {
  char text[512];
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(system_code), 0, text, sizeof text, nullptr);
  return std::string(text, n);
}

bool host_system_missing(unsigned long system_code) {
  return system_code == ERROR_FILE_NOT_FOUND || system_code == ERROR_PATH_NOT_FOUND;
}

std::FILE* host_open_read(const char* path) {
  if (host_names_device(path)) {
    host_failed(HostFailure::DeviceName);
    return nullptr;
  }
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  const HANDLE h =
      CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) failed_at(path);
  return stream_for(h, _O_RDONLY, "rb");
}

bool host_append(const char* path, const char* bytes, std::size_t size) {
  // Append-only access (FILE_APPEND_DATA without FILE_WRITE_DATA) makes every
  // WriteFile land at the current end of the file, so the whole line goes in
  // one piece. Read access serves the turn below and the look at the last
  // byte; a log that grants no reading is appended to without them.
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool readable = h != INVALID_HANDLE_VALUE;
  if (!readable)
    h = CreateFileA(path, FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (!is_disk_file(h)) {
    CloseHandle(h);
    return false;
  }
  // Not every file system finds the end of the file and writes there in one
  // step (Wine, for one, reads the size and then writes at it, so two runs can
  // write over each other). Appenders therefore also take turns on the byte
  // at 2^62: it holds no data, so readers and other writers of the file's data
  // are never held up, appenders wait only for each other's single write, and
  // the lock goes when the process ends.
  OVERLAPPED turn{};
  turn.OffsetHigh = 0x40000000;
  const bool locked = readable && take_turn(h, turn);
  // A line that a full disk cut short has no line end: one goes first, so
  // that two lines never run together. Only with the turn held: otherwise
  // another run could be half-way through its write.
  std::string line;
  if (locked && ends_without_line_feed(h)) line = "\r\n";  // the text-mode line end
  line.append(bytes, size);
  DWORD written = 0;
  const bool ok = line.size() <= MAXDWORD &&
                  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                  written == line.size();
  if (locked) UnlockFileEx(h, 0, 1, 0, &turn);
  CloseHandle(h);
  return ok;
}

// A mapped file cannot be cut short on Windows, so its windows need no guard.
// The mapping holds the file's size at its start; bytes written later are not
// seen.
struct HostFileMap {
  HANDLE mapping;  // nullptr for an empty file, which Windows does not map
  std::uint64_t size;
  void* view = nullptr;
};

std::size_t host_map_granularity() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

HostFileMap* host_map_open(std::FILE* file, std::uint64_t& start) {
  const int fd = _fileno(file);
  if (fd < 0) return nullptr;
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  LARGE_INTEGER size;
  if (h == INVALID_HANDLE_VALUE || !is_disk_file(h) || !GetFileSizeEx(h, &size)) return nullptr;
  const __int64 position = _ftelli64(file);
  if (position < 0) return nullptr;
  HANDLE mapping = nullptr;
  if (size.QuadPart > 0) {
    mapping = CreateFileMappingA(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return nullptr;
  }
  start = static_cast<std::uint64_t>(position);
  return new HostFileMap{mapping, static_cast<std::uint64_t>(size.QuadPart)};
}

bool host_map_window(HostFileMap* map, std::uint64_t offset, const char*& data, std::size_t& size) {
  if (map->view) UnmapViewOfFile(map->view);
  map->view = nullptr;
  data = nullptr;
  if (offset >= map->size) {
    size = 0;
    return true;
  }
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, map->size - offset));
  map->view = MapViewOfFile(map->mapping, FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                            static_cast<DWORD>(offset & 0xffffffffu), size);
  if (!map->view) return false;
  data = static_cast<const char*>(map->view);
  return true;
}

void host_map_close(HostFileMap* map) {
  if (!map) return;
  if (map->view) UnmapViewOfFile(map->view);
  if (map->mapping) CloseHandle(map->mapping);
  delete map;
}

ReplaceOutcome host_replace_file(const char* path, const char* bytes, std::size_t size, Permissions permissions) {
  if (host_names_device(path)) {
    host_failed(HostFailure::DeviceName);
    return ReplaceOutcome::NotCreated;
  }
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    host_failed(HostFailure::Directory);
    return ReplaceOutcome::NotCreated;
  }
  std::string temporary;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int n = 0; h == INVALID_HANDLE_VALUE && n < 100; ++n) {
    temporary = std::string(path) + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n) + ".tmp";
    h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) {
    host_failed(HostFailure::System, GetLastError());
    return ReplaceOutcome::NotCreated;
  }
  bool written = is_disk_file(h) && write_all(h, bytes, size) && FlushFileBuffers(h);
  written = CloseHandle(h) && written;
  // ReplaceFile gives the new file the security and attributes of the one
  // it replaces; it needs a file in place.
  const bool in_place = attributes != INVALID_FILE_ATTRIBUTES;
  if (written && permissions == Permissions::Keep && in_place &&
      ReplaceFileA(path, temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return ReplaceOutcome::Replaced;
  if (written && MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return ReplaceOutcome::Replaced;
  host_failed(HostFailure::System, GetLastError());
  DeleteFileA(temporary.c_str());
  return ReplaceOutcome::NotWritten;
}

namespace {

LocalTime local_time(const SYSTEMTIME& t) { return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}; }

HANDLE handle_of(std::FILE* file) {
  const int fd = _fileno(file);
  return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

LocalTime host_local_time() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return local_time(t);
}

bool host_modified_time(std::FILE* file, LocalTime& time) {
  const HANDLE h = handle_of(file);
  FILETIME written, local;
  SYSTEMTIME t;
  if (h == INVALID_HANDLE_VALUE || !is_disk_file(h) || !GetFileTime(h, nullptr, nullptr, &written) ||
      !FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &t))
    return false;
  time = local_time(t);
  return true;
}

bool host_directory_identity(const char* path, FileIdentity& identity) {
  // FILE_FLAG_BACKUP_SEMANTICS opens a directory; no access is asked for.
  const HANDLE h = CreateFileA(*path ? path : ".", 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                               nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  if (ok)
    identity = {info.dwVolumeSerialNumber,
                static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return ok;
}

bool host_file_identity(std::FILE* file, FileIdentity& identity) {
  const HANDLE h = handle_of(file);
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !is_disk_file(h) || !GetFileInformationByHandle(h, &info)) return false;
  identity = {info.dwVolumeSerialNumber,
              static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return true;
}

int host_utc_offset_minutes() {
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return 0;
  FILETIME u, l;
  if (!SystemTimeToFileTime(&utc, &u) || !SystemTimeToFileTime(&local, &l)) return 0;
  const auto ticks = [](const FILETIME& f) {
    return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
  };
  // 600,000,000 ticks of 100 ns are a minute; the difference is whole minutes.
  const long long difference = ticks(l) - ticks(u);
  return static_cast<int>((difference + (difference < 0 ? -300000000LL : 300000000LL)) / 600000000LL);
}

struct HostThread {
  HANDLE handle;
  void (*work)(void*);
  void* context;
};

namespace {
DWORD WINAPI run_host_thread(LPVOID thread) {
  auto* t = static_cast<HostThread*>(thread);
  t->work(t->context);
  return 0;
}
}  // namespace

HostThread* host_start_thread(void (*work)(void*), void* context) {
  auto* thread = new HostThread{nullptr, work, context};
  thread->handle = CreateThread(nullptr, 0, run_host_thread, thread, 0, nullptr);
  if (thread->handle) return thread;
  delete thread;
  return nullptr;
}

void host_join_thread(HostThread* thread) {
  WaitForSingleObject(thread->handle, INFINITE);
  CloseHandle(thread->handle);
  delete thread;
}

struct HostTurns::State {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE passed = CONDITION_VARIABLE_INIT;
  std::size_t turn = 0;
};

HostTurns::HostTurns() : state_(std::make_unique<State>()) {}
HostTurns::~HostTurns() = default;

void HostTurns::wait_for(std::size_t turn) {
  AcquireSRWLockExclusive(&state_->lock);
  while (state_->turn != turn) SleepConditionVariableSRW(&state_->passed, &state_->lock, INFINITE, 0);
  ReleaseSRWLockExclusive(&state_->lock);
}

void HostTurns::pass() {
  AcquireSRWLockExclusive(&state_->lock);
  ++state_->turn;
  ReleaseSRWLockExclusive(&state_->lock);
  WakeAllConditionVariable(&state_->passed);
}

bool host_seek(std::FILE* file, std::uint64_t offset) {
  return offset <= static_cast<std::uint64_t>(INT64_MAX) &&
         _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool host_file_size(std::FILE* file, std::uint64_t& size) {
  const __int64 length = _filelengthi64(_fileno(file));
  if (length < 0) return false;
  size = static_cast<std::uint64_t>(length);
  return true;
}
