#include "analyser/testing/reference_scan.h"

#include <cstring>
#include <string>

#include "common/text.h"
#include "common/text_file.h"

namespace {

bool is_white(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads like fscanf "%100s": skips white space, then takes up to 100 other
// bytes. The token is a C string, so a zero byte in it ends its text.
bool read_token(TextReader& reader, char (&token)[101]) {
  int c;
  do c = reader.get();
  while (c != EOF && is_white(c));
  if (c == EOF) return false;
  std::size_t n = 0;
  token[n++] = static_cast<char>(c);
  while (n < 100) {
    c = reader.get();
    if (c == EOF || is_white(c)) break;
    token[n++] = static_cast<char>(c);
  }
  token[n] = '\0';
  return true;
}

}  // namespace

void reference_scan_log(std::FILE* log, std::int32_t scan_limit, FailedTests& table, ScanTotals& totals,
                        Console& console) {
  TextReader reader(log);
  char token[101];
  char key[101] = "";
  char remembered[101] = "";
  bool have_remembered = false;
  std::int64_t passes_left = scan_limit;

  if (!read_token(reader, token)) return;  // an empty log holds no entry
  for (;;) {
    // Every token before the marker is the message key in turn; a pass that
    // starts on "Tests" keeps the key an earlier pass set.
    while (std::strcmp(token, "Tests") != 0) {
      std::strcpy(key, token);
      if (!read_token(reader, token)) return;
    }
    if (!read_token(reader, token)) return;  // the token after "Tests" is always consumed
    if (std::strcmp(token, "failed") == 0) {
      if (!read_token(reader, token)) return;  // the weight token
      if (std::strncmp(token, "[weight=", 8) == 0) {
        // An entry: one more recipient, and a message when its key differs
        // from that of the last entry closed.
        ++totals.recipients;
        const bool opens = !have_remembered || std::strcmp(key, remembered) != 0;
        if (opens) ++totals.messages;
        while (read_token(reader, token)) {  // the test tokens, to the end token
          if (!std::strchr(token, '=')) {  // the end token: its key is remembered
            std::strcpy(remembered, key);
            have_remembered = true;
            break;
          }
          upper_case_text(token);  // the test's name: the token up to its "=", upper-cased
          *std::strchr(token, '=') = '\0';
          const int slot = find_or_add_test(table, token, console);
          if (slot >= 0) {
            ++table.slots[slot].recipient_fails;
            if (opens) ++table.slots[slot].message_fails;
          }
        }
      }
    }
    // The end of a pass: progress at every multiple of 5000 recipients, and
    // the scan limit counted in passes.
    if (totals.recipients % 5000 == 0) console.print(std::string(" ").append(std::to_string(totals.recipients)));
    if (scan_limit > 0 && --passes_left == 0) return;
    if (!read_token(reader, token)) return;  // the next pass starts here
  }
}
