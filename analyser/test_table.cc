#include "analyser/test_table.h"

#include <cstring>

int find_or_add_test(TestTable& table, const char* name, Console& console) {
  const std::size_t length = std::strlen(name);
  const int used = static_cast<int>(table.slots.size());
  for (int slot = 0; slot < used; ++slot) {
    const std::string& held = table.slots[slot].name;
    if (held.size() == length && std::memcmp(held.data(), name, length) == 0) return slot;
  }
  if (used >= kTestSlots) return -1;
  if (table.slots.capacity() < static_cast<std::size_t>(kTestSlots)) table.slots.reserve(kTestSlots);
  table.slots.push_back(TestSlot{std::string(name, length)});
  std::string announcement = "\n";
  announcement.append(std::to_string(used)).append(" ").append(name, length);
  console.print(announcement);
  return used;
}
