#include "analyser/report.h"

#include <algorithm>

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

// "veskol.txt" in the directory of the log path ("\" separates).
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

}  // namespace

std::int64_t share(std::int64_t count, std::int64_t total) {
  if (total <= 0 || count < 0) return 0;
  // The product is formed in 128 bits, so no count can overflow it.
  const __int128 whole = static_cast<__int128>(count) * 100 / total;
  return whole > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(whole);
}

std::vector<int> report_order(const FailedTests& table) {
  std::vector<int> order(table.slots.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return table.slots[a].message_fails > table.slots[b].message_fails;
  });
  return order;
}



std::vector<std::string> report_lines(const char* log_path, const FailedTests& table, const ScanTotals& totals) {
  const std::string tab(1, '\t');
  std::vector<std::string> lines;
  lines.push_back(join({log_path, "\n\n"}));
  lines.push_back(join({"\n", right(" ", 25), tab, "  Message", " ", tab, " Recipient"}));
  lines.push_back(join({"\n", right("Test Name", 25), tab, "Fail Count %", tab, "Fail Count %", "\n"}));
  for (const int slot : report_order(table)) {
    const TestSlot& test = table.slots[slot];
    lines.push_back(join({"\n", right(printable(test.name), 25), tab, right(test.message_fails, 7), "   ",
                          right(share(test.message_fails, totals.messages), 2), tab,
                          right(test.recipient_fails, 7), "   ",
                          right(share(test.recipient_fails, totals.recipients), 2)}));
  }
  lines.push_back(join({"\n\n", right("Message Count", 25), tab, right(totals.messages, 7), "     ", tab,
                        right(totals.recipients, 7), "\n"}));
  return lines;
}

void write_report(const char* log_path, const FailedTests& table, const ScanTotals& totals, Console& console) {
  console.print("\n\n");
  std::string text;
  for (const std::string& line : report_lines(log_path, table, totals)) {
    console.print(line);
    text += line;
  }
  const std::string path = report_path(log_path);
  const std::string bytes = to_crlf(text);
  if (host_replace_file(path.c_str(), bytes.data(), bytes.size()) == ReplaceOutcome::NotWritten)
    console.print("\n Report file could not be written: " + path + "\n");
  console.flush();
}
