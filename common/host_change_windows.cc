// Windows side of what only QVADMIN's rule changes use (see host.h): the
// account name and a file's access rules come from ADVAPI32.DLL, which the
// checker and the analyser, linking the same library, do not import.
#include <windows.h>

#include <string>

#include "common/host.h"
#include "common/host_error.h"
#include "common/host_windows.h"

namespace {

bool system_failed(DWORD error = GetLastError()) {
  host_failed(HostFailure::System, error);
  return false;
}

// Another process holding the file open without sharing its deletion (an
// editor, a backup, a virus scanner) makes a rename over it or its removal
// fail for a while: the step is tried again for about two seconds.
constexpr DWORD kHeldRetryMs = 2000;

bool held_by_another(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

template <typename Step>
bool retried_while_held(Step step) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (step()) return true;
    const DWORD error = GetLastError();
    if (!held_by_another(error) || GetTickCount() - start >= kHeldRetryMs) return system_failed(error);
    Sleep(50);
  }
}

// The file's own access rules (its DACL), for the file that replaces it;
// empty when they cannot be read, and the new file keeps those it inherits.
std::string security_of(const char* path) {
  DWORD size = 0;
  GetFileSecurityA(path, DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  if (size == 0) return "";
  std::string descriptor(size, '\0');
  if (!GetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor.data(), size, &size)) return "";
  return descriptor;
}

bool device_named(const char* path) {
  if (!host_names_device(path)) return false;
  host_failed(HostFailure::DeviceName);
  return true;
}

}  // namespace

FileKind host_file_kind(const char* path) {
  if (host_names_device(path)) return FileKind::Other;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::Missing : FileKind::Other;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FileKind::Link;
  return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE) ? FileKind::Other : FileKind::Regular;
}

bool host_read_file(const char* path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  if (device_named(path)) return false;
  const HANDLE h = CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return system_failed();
  bool ok = is_disk_file(h);
  if (!ok) host_failed(HostFailure::NotAFile);
  char buffer[1 << 16];
  DWORD n = 0;
  while (ok) {
    if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
      ok = system_failed();
    } else if (n == 0) {
      break;
    } else if (bytes.size() + n > limit) {
      host_failed(HostFailure::TooLarge);
      ok = false;
    } else {
      bytes.append(buffer, n);
    }
  }
  CloseHandle(h);
  return ok;
}

bool host_install_file(const char* path, const char* temporary, std::string_view bytes) {
  if (device_named(path) || device_named(temporary)) return false;
  const FileKind kind = host_file_kind(path);
  if (kind != FileKind::Missing && kind != FileKind::Regular) {
    host_failed(HostFailure::NotAFile);
    return false;
  }
  if (!DeleteFileA(temporary) && GetLastError() != ERROR_FILE_NOT_FOUND) return system_failed();
  const HANDLE h =
      CreateFileA(temporary, GENERIC_WRITE | WRITE_DAC, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return system_failed();
  bool ok = (write_all(h, bytes.data(), bytes.size()) && FlushFileBuffers(h)) || system_failed();
  ok = (CloseHandle(h) || system_failed()) && ok;
  if (ok && kind == FileKind::Regular) {
    std::string security = security_of(path);
    ok = security.empty() || SetFileSecurityA(temporary, DACL_SECURITY_INFORMATION, security.data()) ||
         system_failed();
  }
  ok = ok && retried_while_held(
                 [&] { return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; });
  if (!ok) DeleteFileA(temporary);
  return ok;
}

bool host_remove_file(const char* path) {
  return !device_named(path) && retried_while_held([&] { return DeleteFileA(path) != 0; });
}

bool host_make_directory(const char* path, bool& created) {
  created = CreateDirectoryA(path, nullptr) != 0;
  if (created) return true;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(path);
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return true;
  return system_failed(error);
}

bool host_remove_empty_directory(const char* path) { return RemoveDirectoryA(path) != 0; }

struct HostLock {
  HANDLE file;
};

HostLock* host_lock(const char* path, int wait_ms) {
  const HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    system_failed();
    return nullptr;
  }
  for (int waited = 0;; waited += 20) {
    OVERLAPPED at{};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return new HostLock{h};
    const DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
      system_failed(error);
      break;
    }
    if (waited >= wait_ms) {
      host_failed(HostFailure::Held);
      break;
    }
    Sleep(20);
  }
  CloseHandle(h);
  return nullptr;
}

void host_unlock(HostLock* lock) {
  if (!lock) return;
  CloseHandle(lock->file);  // the lock goes with the handle
  delete lock;
}

std::string host_account_name() {
  char name[257];
  DWORD size = sizeof name;
  if (GetUserNameA(name, &size) && size > 0) return std::string(name, size - 1);
  return "unknown";
}

void host_sleep_ms(int ms) { Sleep(static_cast<DWORD>(ms)); }

bool host_input_is_terminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}
