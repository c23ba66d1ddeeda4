// The failure host_error_text() tells of, as each host records it. Internal
// to the host layer.
#pragma once

#include <string>

enum class HostFailure { System, DeviceName, Directory, NotAFile, TooLarge, Held };

// Remembers the failure; system_code is errno, or GetLastError() on Windows.
void host_failed(HostFailure why, unsigned long system_code = 0);

// The system's words for a system_code, and whether it says that a path
// names nothing (each host has its own).
std::string host_system_text(unsigned long system_code);
bool host_system_missing(unsigned long system_code);
