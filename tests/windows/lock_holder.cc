// LOCKHOLD.EXE: a helper of the Windows suite, never shipped. It does what
// any process that may read the activity log can do: it locks each file named
// on its command line, prints "locked" once it holds every lock, and keeps
// them until its standard input ends.
//   LOCKHOLD.EXE byte FILE...   exclusive lock on the byte at 2^62, the one
//                               the checker's appenders take turns on
//   LOCKHOLD.EXE whole FILE...  shared lock over every byte of the file
//   LOCKHOLD.EXE open FILE...   the file held open without sharing its
//                               deletion (as an editor or a backup may)
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const bool whole = std::strcmp(argv[1], "whole") == 0;
  const bool open_only = std::strcmp(argv[1], "open") == 0;
  for (int i = 2; i < argc; ++i) {
    if (open_only) {
      if (CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE)
        return 1;
      continue;
    }
    const HANDLE h = CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    OVERLAPPED at{};
    BOOL locked;
    if (whole) {
      locked = LockFileEx(h, LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &at);
    } else {
      at.OffsetHigh = 0x40000000;
      locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
    }
    if (!locked) return 1;
  }
  std::fputs("locked\n", stdout);
  std::fflush(stdout);
  char buffer[256];
  DWORD n;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &n, nullptr) && n > 0) {
  }
  return 0;
}
