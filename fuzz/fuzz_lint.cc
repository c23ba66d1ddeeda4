// QVADMIN lint over a generated program directory. Oracles: lint ends (a
// REDIRECT loop included; libFuzzer's -timeout catches a hang) with exit code
// 0 or 1; every line but the last is a finding "FILE:LINE: SEVERITY: message
// [check]" with a known check (or the program directory's "DIR: warning: ...
// [no-rule-files]"), notes only with --notes, FILE a file that
// exists and LINE within its physical lines; the last line is the tally of
// the errors and warnings printed; and a second run prints the same bytes.
// Input: a flags byte (bit 0: --notes, bit 1: --werror), then up to five
// rule files separated by 0xFF, written as the names below. The program
// directory is the current directory while lint runs, so REDIRECT lines can
// name the files as ACME.TEST\ANN.QUORVANT.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "admin/lint/lint_finding.h"
#include "admin/testing/admin_run.h"
#include "common/host.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr const char* kNames[] = {"$default$.QUORVANT", "ACME.TEST/$default$.QUORVANT", "ACME.TEST/ANN.QUORVANT",
                                  "LISTS/DEEP/X.QUORVANT", "ACME.TEST/A B.QUORVANT"};

// The lines an editor shows for the file at the path text; -1 when it cannot
// be read as a file.
long physical_lines(const std::string& path) {
  std::FILE* file = host_open_read(path.c_str());
  if (!file) return -1;
  long lines = 0;
  int c, last = '\n';
  while ((c = std::fgetc(file)) != EOF) {
    if (c == '\n') ++lines;
    last = c;
  }
  std::fclose(file);
  return last == '\n' ? lines : lines + 1;
}

bool known_check(const std::string& name) {
  for (const char* check : lint_check::kAll)
    if (name == check) return true;
  return false;
}

std::string run_lint(bool notes, bool werror, int& code) {
  std::vector<std::string> args = {"QVADMIN", "lint", "--dir", "."};
  if (notes) args.push_back("--notes");
  if (werror) args.push_back("--werror");
  const AdminRun run = run_admin_words(args);
  code = run.code;
  return run.out;
}

// Parses "N errors, M warnings in K files" (singular forms too).
bool tally(const std::string& line, long& errors, long& warnings) {
  char e[16], w[16], f[16];
  long files;
  if (std::sscanf(line.c_str(), "%ld %15[a-z], %ld %15[a-z] in %ld %15[a-z]", &errors, e, &warnings, w, &files, f) != 6)
    return false;
  return std::string(e).rfind("error", 0) == 0 && std::string(w).rfind("warning", 0) == 0 &&
         std::string(f).rfind("file", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  if (size == 0) return 0;
  // REDIRECT lines may name any path; keep lint away from the system's
  // special files (some block a reader).
  const std::string all(reinterpret_cast<const char*>(data), size);
  for (const char* avoid : {"PROC", "proc", "SYS", "sys", "DEV", "dev"})
    if (all.find(avoid) != std::string::npos) return 0;
  const bool notes = data[0] & 1, werror = data[0] & 2;
  ++data;
  --size;

  namespace fs = std::filesystem;
  const fs::path prog = fs::path(fuzz_scratch_dir()) / "P";
  fs::remove_all(prog);
  fs::create_directories(prog);  // also when the input holds no file
  for (const char* name : kNames) {
    if (size == 0) break;
    const std::string bytes = next_part(data, size, 0xFF);
    fs::create_directories((prog / name).parent_path());
    std::ofstream(prog / name, std::ios::binary) << bytes;
  }

  const int home = open(".", O_RDONLY | O_DIRECTORY);
  if (home < 0 || chdir(prog.c_str()) != 0) std::abort();
  int code = 0, again_code = 0;
  const std::string output = run_lint(notes, werror, code);
  const std::string again = run_lint(notes, werror, again_code);
  FUZZ_CHECK(code == 0 || code == 1);
  FUZZ_CHECK(again == output && again_code == code);

  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(output.substr(start, end - start));
  FUZZ_CHECK(!lines.empty());
  long errors = 0, warnings = 0;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::size_t open_bracket = line.rfind(" [");
    FUZZ_CHECK(open_bracket != std::string::npos && line.back() == ']');
    FUZZ_CHECK(known_check(line.substr(open_bracket + 2, line.size() - open_bracket - 3)));
    std::size_t severity = line.find(": error: ");
    if (severity != std::string::npos) {
      ++errors;
    } else if ((severity = line.find(": warning: ")) != std::string::npos) {
      ++warnings;
    } else {
      severity = line.find(": note: ");
      FUZZ_CHECK(severity != std::string::npos && notes);
    }
    // The program directory's own warning has no line.
    if (line.ends_with(std::string(" [") + lint_check::kNoRuleFiles + "]")) continue;
    const std::size_t colon = line.rfind(':', severity - 1);
    FUZZ_CHECK(colon != std::string::npos && colon + 1 < severity);
    const std::string number = line.substr(colon + 1, severity - colon - 1);
    FUZZ_CHECK(number.find_first_not_of("0123456789") == std::string::npos);
    const long at = std::stol(number);
    const long in_file = physical_lines(line.substr(0, colon));
    FUZZ_CHECK(at >= 1);
    if (in_file >= 0) FUZZ_CHECK(at <= std::max(1L, in_file));
  }
  long tally_errors = 0, tally_warnings = 0;
  FUZZ_CHECK(tally(lines.back(), tally_errors, tally_warnings));
  FUZZ_CHECK(tally_errors == errors && tally_warnings == warnings);
  FUZZ_CHECK(code == (tally_errors > 0 || (werror && tally_warnings > 0) ? 1 : 0));

  if (fchdir(home) != 0) std::abort();
  close(home);
  return 0;
}
