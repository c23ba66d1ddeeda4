// What the Windows host files share (host_windows.cc and host_change_windows.cc).
#pragma once

#include <windows.h>

#include <cstddef>

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Only ordinary disk files are ours to read and write. Device names (a
// recipient AUX@EXAMPLE.ORG makes a rule file AUX.QUORVANT) are refused before
// any open, see host_names_device; this catches whatever else is not a file.
inline bool is_disk_file(HANDLE h) { return GetFileType(h) == FILE_TYPE_DISK; }

// All of the bytes, in as many writes as it takes.
bool write_all(HANDLE h, const char* bytes, std::size_t size);
