// The sixteen-bytes-at-a-time searches against their byte-by-byte forms, on
// every byte value and at every length around the sixteen-byte steps.
#include "admin/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TEST(ByteScan, AgreesWithByteByByte) {
  std::mt19937 random(16);
  const std::string common = "ABCXYZ09.-_=!#%*@ :abt\x01\x1f\x7f\x80\xff[`{";
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 70, 'A');
    for (char& c : text) c = random() % 3 ? common[random() % common.size()] : static_cast<char>(random() % 256);
    const std::size_t end = text.empty() ? 0 : random() % (text.size() + 1);
    ASSERT_EQ(subject_run_start(text.data(), end), byte_scan_reference::subject_run_start(text.data(), end)) << round;
    const AddressRun fast = address_run(text.data(), end), slow = byte_scan_reference::address_run(text.data(), end);
    ASSERT_EQ(fast.start, slow.start) << round;
    ASSERT_EQ(fast.ats, slow.ats) << round;
    if (slow.ats > 0) {
      ASSERT_EQ(fast.first_at, slow.first_at) << round;
    }
  }
}

}  // namespace
