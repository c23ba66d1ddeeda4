// What the POSIX host files share (host_posix.cc and host_change_posix.cc).
#pragma once

#include <cstddef>
#include <string>

// The path on this host for a Windows path text (see host_posix.cc).
std::string map_path(const char* text);
// A descriptor of the file at path opened with flags, only when it is a
// regular file; -1 otherwise.
int open_regular(const std::string& path, int flags);
// All of the bytes, in as many writes as it takes.
bool write_all(int fd, const char* bytes, std::size_t size);
