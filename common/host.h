// The host layer: the only code that differs between Windows and POSIX.
// Path texts are Windows paths everywhere above this layer ("\" separates,
// names match without regard to letter case); files are opened in binary and
// the text-mode conventions are applied by text_file.h, so every host reads
// and writes the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Makes sure descriptors 0, 1 and 2 are open, on the null device when they
// are not, so that no file the program opens later takes one of their numbers
// (a report opened as descriptor 1 would receive the console lines). Called
// first thing, by run_program.
void host_open_standard_streams();

// Puts the arguments in the form the programs expect: on POSIX every "/" of
// every word becomes "\"; on Windows they stay as Windows gave them.
void host_prepare_arguments(int argc, char** argv);
// One command-line word that names a path, in the form a path text has.
std::string host_path_argument(const char* word);

// Makes standard output take bytes as they are written (no newline mapping)
// and turns a console whose reader has gone into failed writes.
void host_prepare_console();

// Standard input, reading bytes as they are (no newline mapping).
std::FILE* host_standard_input();

// Why the latest host call that failed failed: the system's own words ("No
// such file or directory"; on Windows the text FormatMessage gives, without
// its final period), or the host layer's own for what it refuses by itself:
// a name Windows keeps for a device, a directory, a file that is not a
// regular one.
std::string host_error_text();
// True when the latest host call that failed failed because its path names
// nothing (no such file, or no such directory on the way).
bool host_error_is_missing();

// A path text as a person would type it to open that file on this host: on
// POSIX the path the text names there ("/" between the names, each name as
// the directory holds it, no doubled "/"); on Windows the text itself.
std::string host_native_path(const char* path);

// The program's own path as the system passed it.
const char* host_program_path(char** argv);

// True when the last component of the path text is a name that Windows takes
// for a device: CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to LPT9, in any
// letter case, with any extension and any trailing dots or spaces. Such a
// path is never opened, on either host, so both give the same verdicts.
bool host_names_device(const char* path);

// Opens a path text for reading. Refuses anything but a regular file (a
// directory, a named pipe, a device); nullptr then and on any failure.
std::FILE* host_open_read(const char* path);

// Appends one line (its bytes, line end included) to the file, created when
// missing, in one append-mode write, so that lines of concurrent runs never
// tear. A line that a full disk cuts short never runs together with the next
// one. Refuses anything but a regular file. False on any failure.
bool host_append(const char* path, const char* bytes, std::size_t size);

// Windows on a file, mapped read-only into memory, so that a big file is read
// without copying it, one window at a time.
struct HostFileMap;

// Windows start at multiples of this many bytes of the file.
std::size_t host_map_granularity();

// Prepares to map the file behind an open stream; start is the stream's
// position. nullptr when the stream cannot be mapped (no file behind it, or
// the system refuses); reading it still works then.
HostFileMap* host_map_open(std::FILE* file, std::uint64_t& start);

// Maps up to size bytes from offset (a multiple of the granularity) in place
// of the window mapped before: data and size then give the bytes mapped,
// fewer at the end of the file, none past it. False when the system refuses.
// A file cut short while a window of it is mapped does not stop the program:
// the window's bytes past the new end read as zero bytes.
bool host_map_window(HostFileMap* map, std::uint64_t offset, const char*& data, std::size_t& size);

// Unmaps the window and ends the mapping.
void host_map_close(HostFileMap* map);

// Puts the bytes in place of the file at path in one step: they go to a new
// file of a unique name in the same directory, which then replaces path. A
// link named path is replaced itself; its target is never written.
enum class ReplaceOutcome {
  Replaced,
  NotCreated,  // path is neither a regular file nor a link, or the new file
               // could not be created: nothing was changed
  NotWritten,  // writing or replacing failed: path is as it was, and the
               // new file is gone
};
// With Permissions::Keep, a file in place keeps its permissions (its mode on
// POSIX; on Windows its security and attributes); else the new file has those
// a new file gets.
enum class Permissions { New, Keep };
ReplaceOutcome host_replace_file(const char* path, const char* bytes, std::size_t size,
                                 Permissions permissions = Permissions::New);

// What tells a file from every other on its host, whatever path names it:
// the device and inode on POSIX, the volume and file index on Windows.
struct FileIdentity {
  std::uint64_t volume = 0, index = 0;
  bool operator==(const FileIdentity&) const = default;
};
// The identity of the file behind an open stream; false when it has none
// (standard input from a terminal, say).
bool host_file_identity(std::FILE* file, FileIdentity& identity);
// The identity of the directory a path text names, found as every path text
// is; false when it names none.
bool host_directory_identity(const char* path, FileIdentity& identity);

struct DirectoryEntry {
  std::string name;
  bool is_directory = false;  // a directory reached without a link
  bool is_file = false;       // a regular file (through a link too)
};
// The entries of a directory, "." and ".." left out, in byte order of their
// names. False when the directory cannot be read.
bool host_list_directory(const char* path, std::vector<DirectoryEntry>& entries);

struct LocalTime {
  int year, month, day, hour, minute, second;
};
LocalTime host_local_time();
// When the file behind an open stream was last written, in local time;
// false when that cannot be told.
bool host_modified_time(std::FILE* file, LocalTime& time);
// How far local time is ahead of UTC now, in minutes.
int host_utc_offset_minutes();

// Changing rule files in place, so that a checker run at any moment reads a
// file wholly old or wholly new. A call that fails leaves why to
// host_error_text(). QVADMIN alone uses these: they live in
// host_change_posix.cc and host_change_windows.cc, objects of their own, so
// that the checker and the analyser take in none of it (on Windows, the
// account name and the access rules come from ADVAPI32.DLL).

enum class FileKind { Missing, Regular, Link, Other };  // Other: a directory, a device, a pipe
FileKind host_file_kind(const char* path);

// The whole file; false when it cannot be read, or holds more than limit
// bytes.
bool host_read_file(const char* path, std::size_t limit, std::string& bytes);

// Puts the bytes in place of the file at path (or makes it) with one rename:
// they are written to temporary (a path in the same directory; whatever is
// there is removed first), given the permissions of the file they replace,
// flushed to the disk and renamed over path (on Windows MoveFileEx with
// replace and write-through). While another process holds path open without
// sharing its deletion (Windows), the rename is tried again for about two
// seconds. On failure path is as it was and temporary is gone.
bool host_install_file(const char* path, const char* temporary, std::string_view bytes);

// Removes the file, retried as host_install_file retries its rename.
bool host_remove_file(const char* path);

// Makes the directory (its parent must exist); created tells whether it did.
bool host_make_directory(const char* path, bool& created);
// Removes the directory when it is empty; false otherwise.
bool host_remove_empty_directory(const char* path);

// An exclusive lock on the file at path (made when missing), waited for at
// most wait_ms; it goes when released or when the process ends. nullptr
// when it was not had.
struct HostLock;
HostLock* host_lock(const char* path, int wait_ms);
void host_unlock(HostLock* lock);

// Waits that many milliseconds.
void host_sleep_ms(int ms);

// The operating-system account the program runs under.
std::string host_account_name();

// True when standard input is a terminal a person types at.
bool host_input_is_terminal();

// Runs work(context) on a thread of its own. nullptr when no thread could be
// started; the caller then does the work itself. (The C++ library of the
// Windows build, made for the win32 thread model, has no std::thread.)
struct HostThread;
HostThread* host_start_thread(void (*work)(void*), void* context);
// Waits for the thread's work to end and frees the thread.
void host_join_thread(HostThread* thread);

// Turns that threads take in order, numbered from 0: a thread waits until
// the turn in play is its own, and passes the turn on to the next number
// when it is done. (Nor has that C++ library std::condition_variable.)
class HostTurns {
 public:
  HostTurns();
  ~HostTurns();
  HostTurns(const HostTurns&) = delete;
  HostTurns& operator=(const HostTurns&) = delete;
  void wait_for(std::size_t turn);
  void pass();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Puts an open stream at offset bytes from the start of its file (past 2 GiB
// too, where a long has 32 bits).
bool host_seek(std::FILE* file, std::uint64_t offset);
// The size of the file behind an open stream.
bool host_file_size(std::FILE* file, std::uint64_t& size);

// What QVADMIN's web console alone uses. It lives in host_console_posix.cc
// and host_console_windows.cc, objects of their own, so that the checker and
// the analyser, which link the same library, take in none of it.

// Fills out with bytes from the system's source of secrets (getrandom on
// POSIX; RtlGenRandom, through the C runtime's rand_s, on Windows). False
// when the system gives none.
bool host_random_bytes(unsigned char* out, std::size_t size);

// A lock that threads take one at a time. (The C++ library of the Windows
// build, made for the win32 thread model, has no std::mutex.)
class HostThreadLock {
 public:
  HostThreadLock();
  ~HostThreadLock();
  HostThreadLock(const HostThreadLock&) = delete;
  HostThreadLock& operator=(const HostThreadLock&) = delete;
  void lock();
  void unlock();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Holds a lock for as long as it lives.
class HostThreadLockHold {
 public:
  explicit HostThreadLockHold(HostThreadLock& lock) : lock_(lock) { lock_.lock(); }
  ~HostThreadLockHold() { lock_.unlock(); }
  HostThreadLockHold(const HostThreadLockHold&) = delete;
  HostThreadLockHold& operator=(const HostThreadLockHold&) = delete;

 private:
  HostThreadLock& lock_;
};
