#include "common/host_error.h"

#include "common/host.h"

namespace {

HostFailure g_failure = HostFailure::System;
unsigned long g_code = 0;

}  // namespace

void host_failed(HostFailure why, unsigned long system_code) {
  g_failure = why;
  g_code = system_code;
}

bool host_error_is_missing() { return g_failure == HostFailure::System && host_system_missing(g_code); }

std::string host_error_text() {
  switch (g_failure) {
    case HostFailure::DeviceName:
      return "a name Windows keeps for a device";
    case HostFailure::Directory:
      return "a directory";
    case HostFailure::NotAFile:
      return "not a regular file";
    case HostFailure::TooLarge:
      return "larger than a rule file can be";
    case HostFailure::Held:
      return "held by another process";
    case HostFailure::System:
      break;
  }
  std::string text = host_system_text(g_code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? "error " + std::to_string(g_code) : text;
}
