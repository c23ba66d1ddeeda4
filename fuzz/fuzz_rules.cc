// Rule-file evaluation over arbitrary rule files that may REDIRECT to each
// other. Oracles: the first file read as rule lines gives the pieces of the
// plain text-mode model, each with its counter, its editor line and its
// examined text, each read by the checker's one pass as the plain reading
// reads it (kind, list word, field, text, and a hit on the message's texts); the result is 0, 1, 100 or 200; the evaluation ends (a
// REDIRECT loop included; libFuzzer's -timeout catches a hang) after at most
// the REDIRECT depth limit of nested files; and nothing past the line limit
// is acted on: the same files cut after the last line the limit lets through
// give the same result and the same activity-log trace, byte for byte.
// Input: subject, LF, sender, LF, recipient, 0xFF, then up to four rule files
// R0.QUORVANT to R3.QUORVANT separated by 0xFF; R0 is evaluated. The files
// live in the process's scratch directory, which is the current directory
// while they are evaluated, so REDIRECT lines can name them as R1.QUORVANT.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "checker/limits.h"
#include "checker/log_trace.h"
#include "checker/rule_file.h"
#include "checker/rule_match.h"
#include "checker/rule_reader.h"
#include "checker/testing/reference_rules.h"
#include "common/testing/text_model.h"
#include "common/text.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr int kFiles = 4;

// What a run of the checker hands over: upper case, no control character,
// at most 99 characters.
std::string message_text(const std::string& raw, bool trim) {
  std::string text = examined(raw).substr(0, 99);
  if (trim) {
    text.resize(text.size() + 1);
    text = trim_spaces(text.data());
  }
  return text;
}

// The file cut after the last piece that the line limit lets the evaluation
// act on: the first piece past the 500th that does not begin with a zero byte.
std::string cut_at_line_limit(const std::string& bytes) {
  std::size_t kept = 0;
  int counter = 0;
  for (const std::string& piece : text_pieces(bytes)) {
    kept += piece.size();
    ++counter;
    if (piece[0] == '\0') continue;
    if (counter > 500) break;
  }
  return bytes_read_as(bytes, kept);
}

void write_file(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

std::string take_log(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::filesystem::remove(path);
  return text;
}

int count_of(const std::string& text, const std::string& word) {
  int n = 0;
  for (std::size_t i = 0; (i = text.find(word, i)) != std::string::npos; i += word.size()) ++n;
  return n;
}

// The one-pass reading of a piece against the plain reading.
void check_reading(const RuleLine& line, const std::vector<std::string>& targets) {
  if (line.skipped || is_comment(line.text)) return;
  FUZZ_CHECK(line.text_size == std::strlen(line.text));
  FUZZ_CHECK(classify_rule_line(line.text) == reference_classify_rule_line(line.text));
  const RuleTest fast = rule_test(line.text), plain = reference_rule_test(line.text);
  FUZZ_CHECK(fast.list == plain.list && fast.field == plain.field && fast.usable == plain.usable);
  FUZZ_CHECK(std::strcmp(fast.text, plain.text) == 0);
  for (const std::string& target : targets) {
    const bool hit = plain.usable && contains(target.c_str(), plain.text);
    FUZZ_CHECK(match_rule(line.text, target.c_str()) == (hit ? plain.list : Verdict::None));
  }
}

// The rule lines of the bytes against the plain model of text-mode pieces.
void check_rule_lines(const std::string& bytes, const std::vector<std::string>& targets) {
  const std::vector<std::string> pieces = text_pieces(bytes);
  TextReader text(bytes.data(), bytes.size());
  TextRuleLineReader reader(text);
  RuleLine line;
  std::size_t i = 0;
  int editor_line = 1;
  bool at_line_start = true;
  while (reader.next(line)) {
    FUZZ_CHECK(i < pieces.size());
    const std::string& piece = pieces[i];
    FUZZ_CHECK(line.size == piece.size() && std::memcmp(line.raw, piece.data(), piece.size()) == 0);
    FUZZ_CHECK(line.counter == static_cast<int>(i) + 1);
    FUZZ_CHECK(line.editor_line == editor_line && line.continued == !at_line_start);
    FUZZ_CHECK(line.skipped == (piece[0] == '\0'));
    FUZZ_CHECK(line.text == examined(piece));
    check_reading(line, targets);
    at_line_start = piece.back() == '\n';
    editor_line += at_line_start;
    ++i;
  }
  FUZZ_CHECK(i == pieces.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  static const std::string log_file = fuzz_scratch_dir() + "/RULES.LOG";

  std::string header = next_part(data, size, 0xFF);
  const unsigned char* h = reinterpret_cast<const unsigned char*>(header.data());
  std::size_t hsize = header.size();
  const std::string subject = message_text(next_part(h, hsize, '\n'), true);
  const std::string sender = message_text(next_part(h, hsize, '\n'), false);
  const std::string recipient = message_text(next_part(h, hsize, '\n'), false);
  std::vector<std::string> files;
  for (int i = 0; i < kFiles; ++i) files.push_back(next_part(data, size, 0xFF));

  auto evaluate = [&](bool cut, std::string& log) {
    for (int i = 0; i < kFiles; ++i)
      write_file(fuzz_scratch_dir() + "/R" + std::to_string(i) + ".QUORVANT",
                 cut ? cut_at_line_limit(files[i]) : files[i]);
    // libFuzzer's own paths may be relative: back to its directory after.
    const int home = open(".", O_RDONLY | O_DIRECTORY);
    if (home < 0 || chdir(fuzz_scratch_dir().c_str()) != 0) std::abort();
    LogTrace trace(log_file, LogLevel::Debug);
    DiskRuleSource sources;
    const RuleInputs in{subject.c_str(), sender.c_str(), recipient.c_str()};
    const int result = static_cast<int>(evaluate_rule_file("R0.QUORVANT", in, sources, trace).result);
    if (fchdir(home) != 0) std::abort();
    close(home);
    log = take_log(log_file);
    return result;
  };
  check_rule_lines(files[0], {subject, sender});
  std::string log_whole, log_cut;
  const int whole = evaluate(false, log_whole);
  FUZZ_CHECK(whole == 0 || whole == 1 || whole == 100 || whole == 200);
  FUZZ_CHECK(count_of(log_whole, "Checking Rule File = ") <= kMaxRedirectDepth + 1);
  const int cut = evaluate(true, log_cut);
  FUZZ_CHECK(cut == whole);
  FUZZ_CHECK(log_cut == log_whole);
  return 0;
}
