// QVADMIN explain against QUORVANT, both run in this process on the same
// generated program directory and message: the exit codes and the result
// lines must be equal, and the deciding FILE:LINE that explain --quiet names
// must be a line of that file.
// Input: envelope bytes, 0xFF, message bytes, 0xFF, then the user, domain,
// program and a shared rule file (X.ORG\ANN.QUORVANT, X.ORG\$default$.QUORVANT,
// $default$.QUORVANT, S.QUORVANT) separated by 0xFF. REDIRECT lines may name
// S.QUORVANT: the program directory is the current directory during the runs.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "admin/testing/admin_run.h"
#include "checker/driver.h"
#include "common/testing/text_model.h"
#include "fuzz/fuzz_check.h"

namespace fs = std::filesystem;

namespace {

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string windows_form(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool is_time_stamp(const std::string& line) {
  if (line.size() < 9 || line[2] != ':' || line[5] != ':' || line[8] != ' ') return false;
  for (int i : {0, 1, 3, 4, 6, 7})
    if (line[i] < '0' || line[i] > '9') return false;
  return true;
}

// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, next; (next = text.find(end, at)) != std::string::npos; at = next + end.size())
    lines.push_back(text.substr(at, next - at));
  return lines;
}

// The result line the checker wrote, without its time stamp; "" for none.
std::string take_result_line(const fs::path& dir) {
  std::string result;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename().string().rfind("QEL", 0) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    fs::remove(entry.path());
    for (const std::string& line : lines_of(log, "\r\n"))
      if (is_time_stamp(line)) result = line.substr(9);
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const fs::path root = fuzz_scratch_dir();
  const fs::path prog = root / "PROG";
  fs::remove_all(prog);
  fs::remove_all(root / "SPOOL");
  write_file(root / "SPOOL" / "_1.~MD", next_part(data, size, 0xFF));
  write_file(root / "SPOOL" / "D1.SMD", next_part(data, size, 0xFF));
  const char* names[] = {"X.ORG/ANN.QUORVANT", "X.ORG/$default$.QUORVANT", "$default$.QUORVANT", "S.QUORVANT"};
  std::vector<std::string> files;
  for (const char* name : names) {
    files.push_back(next_part(data, size, 0xFF));
    write_file(prog / name, files.back());
  }
  const std::string message = windows_form((root / "SPOOL" / "D1.SMD").string());
  const std::string program_dir = windows_form(prog.string()) + "\\";

  const int home = open(".", O_RDONLY | O_DIRECTORY);
  if (home < 0 || chdir(prog.c_str()) != 0) std::abort();

  std::string checker_path = program_dir + "QUORVANT", level = "DEBUG", message_word = message;
  char* checker_argv[] = {checker_path.data(), level.data(), message_word.data(), nullptr};
  CapturedConsole checker_out, checker_err;
  const int checker_code = run_checker(3, checker_argv, checker_out, checker_err, nullptr);
  const std::string checker_line = take_result_line(prog);

  const AdminRun explain = run_admin_words({"QVADMIN", "explain", "--dir", program_dir, message});
  const AdminRun quiet_run = run_admin_words({"QVADMIN", "explain", "--quiet", "--dir", program_dir, message});
  const std::string& explained = explain.out;
  const std::string& quiet = quiet_run.out;
  if (fchdir(home) != 0) std::abort();
  close(home);

  FUZZ_CHECK(explain.code == checker_code && quiet_run.code == checker_code);
  std::string shown;
  for (const std::string& text : lines_of(explained, "\n"))
    if (text.rfind("Log line   ", 0) == 0 && is_time_stamp(text.substr(11))) shown = text.substr(20);
  FUZZ_CHECK(shown == checker_line);

  // A deciding line is a line of its file.
  const std::size_t at = quiet.rfind(" at ");
  const std::size_t colon = quiet.rfind(':');
  if (at != std::string::npos && colon != std::string::npos && colon > at) {
    const std::string file = quiet.substr(at + 4, colon - at - 4);
    const long line = std::strtol(quiet.c_str() + colon + 1, nullptr, 10);
    int index = -1;
    for (int i = 0; i < 4; ++i)
      if (windows_form((prog / names[i]).string()) == file || program_dir + "\\" + names[i] == file ||
          names[i] == file)
        index = i;
    if (index >= 0) {
      const std::string text = text_mode(files[index]);
      long lines = 1;
      for (char c : text) lines += c == '\n';
      FUZZ_CHECK(line >= 1 && line <= lines);
    }
  }
  return 0;
}
