// The failure host_error_text() tells of, as each host records it. Internal
// to the host layer.
#pragma once

#include <string>

enum class HostFailure { System, DeviceName, Directory, NotAFile };

// Remembers the failure; system_code is errno, or GetLastError() on Windows.
void host_failed(HostFailure why, unsigned long system_code = 0);

// The system's words for a system_code (each host has its own).
std::string host_system_text(unsigned long system_code);
