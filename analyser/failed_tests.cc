#include "analyser/failed_tests.h"

#include "common/text.h"

int find_or_add_test(FailedTests& table, std::string_view name, Console& console) {
  const int used = static_cast<int>(table.slots.size());
  for (int slot = 0; slot < used; ++slot)
    if (table.slots[slot].name == name) return slot;
  if (used >= table.capacity) return -1;
  if (table.slots.capacity() < static_cast<std::size_t>(kTestSlots)) table.slots.reserve(kTestSlots);
  table.slots.push_back(TestSlot{std::string(name)});
  std::string announcement = "\n";
  announcement.append(std::to_string(used)).append(" ").append(printable(name));
  console.print(announcement);
  return used;
}
