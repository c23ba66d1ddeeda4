#include "analyser/report.h"

#include <algorithm>
#include <cstdio>

#include "common/host.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

// Right-aligned in width columns, like printf's "%<width>s"; longer texts
// stay whole.
std::string right(const std::string& text, std::size_t width) {
  if (text.size() >= width) return text;
  std::string padded(width - text.size(), ' ');
  padded += text;
  return padded;
}

std::string right(std::int64_t number, std::size_t width) { return right(std::to_string(number), width); }

}  // namespace

std::int64_t share(std::int64_t count, std::int64_t total) {
  if (total <= 0 || count < 0) return 0;
  if (count / total > INT64_MAX / 100) return INT64_MAX;  // beyond any log that fits on a disk
  // count * 100 / total, exact for every count: the whole part, then two
  // decimal digits of the rest by long division. Unsigned sums of two values
  // below total never wrap.
  const auto t = static_cast<std::uint64_t>(total);
  std::uint64_t rest = static_cast<std::uint64_t>(count) % t;
  std::int64_t result = count / total * 100;
  for (std::int64_t place = 10; place >= 1; place /= 10) {
    std::uint64_t digit = 0, ten_rest = 0;  // rest * 10 == digit * t + ten_rest
    for (int k = 0; k < 10; ++k) {
      ten_rest += rest;
      if (ten_rest >= t) {
        ten_rest -= t;
        ++digit;
      }
    }
    result += static_cast<std::int64_t>(digit) * place;
    rest = ten_rest;
  }
  return result;
}

std::vector<int> report_order(const TestTable& table) {
  std::vector<int> order(table.slots.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return table.slots[a].message_fails > table.slots[b].message_fails;
  });
  return order;
}

std::string report_path(const char* log_path) {
  std::string dir(log_path);
  directory_part(dir.data());
  return std::string(dir.c_str()) + "veskol.txt";
}

// Concatenates the pieces (appending one by one keeps GCC's -Wrestrict quiet).
std::string join(std::initializer_list<std::string> pieces) {
  std::string text;
  for (const std::string& piece : pieces) text += piece;
  return text;
}

std::vector<std::string> report_lines(const char* log_path, const TestTable& table, const ScanTotals& totals) {
  const std::string tab(1, '\t');
  std::vector<std::string> lines;
  lines.push_back(join({log_path, "\n\n"}));
  lines.push_back(join({"\n", right(" ", 25), tab, "  Message", " ", tab, " Recipient"}));
  lines.push_back(join({"\n", right("Test Name", 25), tab, "Fail Count %", tab, "Fail Count %", "\n"}));
  for (const int slot : report_order(table)) {
    const TestSlot& test = table.slots[slot];
    lines.push_back(join({"\n", right(test.name, 25), tab, right(test.message_fails, 7), "   ",
                          right(share(test.message_fails, totals.messages), 2), tab,
                          right(test.recipient_fails, 7), "   ",
                          right(share(test.recipient_fails, totals.recipients), 2)}));
  }
  lines.push_back(join({"\n\n", right("Message Count", 25), tab, right(totals.messages, 7), "     ", tab,
                        right(totals.recipients, 7), "\n"}));
  return lines;
}

void write_report(const char* log_path, const TestTable& table, const ScanTotals& totals, Console& console) {
  console.print("\n\n");
  const std::vector<std::string> lines = report_lines(log_path, table, totals);
  std::FILE* file = host_open_write(report_path(log_path).c_str());
  for (const std::string& line : lines) {
    console.print(line);
    if (file) write_text(file, line);
  }
  if (file) std::fclose(file);
  console.flush();
}
