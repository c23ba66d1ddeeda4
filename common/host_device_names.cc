// The names Windows takes for devices, recognised on both hosts, so that a
// path text never opens a device on Windows and gives the same verdict on
// POSIX.
#include <cstddef>
#include <cstring>
#include <initializer_list>

#include "common/host.h"
#include "common/text.h"

namespace {

bool same_letters(const char* text, const char* upper, std::size_t n) {
  return same_ignoring_case(std::string_view(text, n), std::string_view(upper, n));
}

}  // namespace

bool host_names_device(const char* path) {
  // The last component; a drive ("C:NUL") or a stream ("NUL:") around it does
  // not count.
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  if (name == path && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) && name[1] == ':')
    name += 2;
  // The base name ends at the extension or the stream; spaces before either,
  // like trailing dots and spaces, are dropped.
  std::size_t length = std::strcspn(name, ".:");
  while (length > 0 && name[length - 1] == ' ') --length;
  for (const char* device : {"CON", "PRN", "AUX", "NUL"})
    if (length == 3 && same_letters(name, device, 3)) return true;
  return length == 4 && (same_letters(name, "COM", 3) || same_letters(name, "LPT", 3)) && name[3] >= '1' &&
         name[3] <= '9';
}
