// The sixteen- and thirty-two-bytes-at-a-time searches against their
// byte-by-byte forms on every byte value and at every length around their
// steps, with runs that span several steps; the byte-by-byte line ends
// against the text itself.
#include "admin/activity_log/byte_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(ByteScan, AgreesWithByteByByte) {
  std::mt19937 random(16);
  const std::string common = "ABCXYZ09.-_=!#%*@ :abt\x01\x1f\x7f\x80\xff[`{\n\n\x1a";
  // Bytes that continue both runs, for runs longer than a step.
  const std::string in_runs = "ABCXYZ09.-_=!#%*";
  for (int round = 0; round < 30000; ++round) {
    std::string text(random() % (round % 5 ? 110 : 400), 'A');
    const bool long_runs = round % 3 == 0;
    for (char& c : text)
      if (long_runs && random() % 16)
        c = in_runs[random() % in_runs.size()];
      else
        c = random() % 3 ? common[random() % common.size()] : static_cast<char>(random() % 256);
    const std::size_t end = text.empty() ? 0 : random() % (text.size() + 1);
    // The gaps between the runs: a result line's labels, or any.
    const std::size_t subject_back = round % 2 ? 8 : random() % 20, from_back = round % 2 ? 7 : random() % 20;
    const MessageRuns slow =
        byte_scan_forms::message_runs(VectorSet::Portable, text.data(), end, subject_back, from_back);
    // The line ends up to the first byte 26, over several words.
    std::vector<std::uint64_t> slow_ends((end + 63) / 64, ~std::uint64_t{0});
    const std::size_t eof = byte_scan_forms::line_end_bits(VectorSet::Portable, text.data(), end, slow_ends.data());
    ASSERT_EQ(eof, std::min(end, text.substr(0, end).find('\x1a'))) << round;
    for (std::size_t i = 0; i < slow_ends.size() * 64; ++i)
      ASSERT_EQ(slow_ends[i / 64] >> (i % 64) & 1, i < eof && text[i] == '\n') << round << ", byte " << i;
    const auto same_ends = [&](VectorSet set) {
      std::vector<std::uint64_t> ends(slow_ends.size(), ~std::uint64_t{0});
      EXPECT_EQ(byte_scan_forms::line_end_bits(set, text.data(), end, ends.data()), eof);
      return ends == slow_ends;
    };
    std::vector<std::uint64_t> ends(slow_ends.size(), ~std::uint64_t{0});
    ASSERT_EQ(line_end_bits(text.data(), end, ends.data()), eof) << round;
    ASSERT_EQ(ends, slow_ends) << round;
    const auto same_run = [](const AddressRun& a, const AddressRun& b) {
      return a.start == b.start && a.ats == b.ats && (a.ats == 0 || a.first_at == b.first_at);
    };
    std::vector<MessageRuns> fast = {message_runs(text.data(), end, subject_back, from_back)};
    for (const VectorSet set : usable_vector_sets()) {
      ASSERT_TRUE(same_ends(set)) << vector_set_name(set) << ", round " << round;
      fast.push_back(byte_scan_forms::message_runs(set, text.data(), end, subject_back, from_back));
    }
    for (const MessageRuns& runs : fast) {
      ASSERT_EQ(runs.subject, slow.subject) << round;
      ASSERT_TRUE(same_run(runs.sender, slow.sender)) << round;
      ASSERT_TRUE(same_run(runs.recipient, slow.recipient)) << round;
    }
  }
}

}  // namespace
