// The test names the analyser counts, in up to 100 slots taken in order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"

inline constexpr int kTestSlots = 100;

struct TestSlot {
  std::string name;
  std::int64_t message_fails = 0;
  std::int64_t recipient_fails = 0;
};

struct FailedTests {
  std::vector<TestSlot> slots;  // the slots in use, numbered from 0
  int capacity = kTestSlots;    // more only for a part of a log, whose names are merged later
};

// The slot holding exactly this name, or the first free slot, which gets the
// name and is announced as "\n<slot> <name>" (control bytes of the name shown
// as "?": names come from senders' text). -1 when the name is new and all
// slots are taken. (A name given as a C string ends at its first zero byte.)
int find_or_add_test(FailedTests& table, std::string_view name, Console& console);
