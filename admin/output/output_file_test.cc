#include "admin/output/output_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "common/testing/scratch.h"

namespace {

constexpr char kMarker[] = "<made by QVADMIN>";

class Output : public ScratchDir {
 protected:
  // Writes through an OutputFile; gives "" when written, else the reason.
  std::string write(const std::string& rest, const std::string& bytes = "<made by QVADMIN> new") {
    OutputFile file(path(rest), kMarker);
    std::string why;
    return file.write(bytes, why) ? "" : why;
  }
};

// What may be written over: nothing but a file QVADMIN made.
TEST_F(Output, WritesOnlyNewFilesAndItsOwn) {
  const struct {
    std::string name;
    std::optional<std::string> content;  // none: no file there
    bool written;
    const char* why;
  } cases[] = {
      {"new.html", {}, true, ""},
      {"own.html", "<html><made by QVADMIN></html>", true, ""},
      {"theirs.html", "<html>their notes</html>", false, "did not write"},
      {"late.html", std::string(kMarkerSearch, ' ') + kMarker, false, "did not write"},
      {"QEL1207.LOG", {}, false, "activity logs"},
      {"qel0101.log. ", "<made by QVADMIN>", false, "activity logs"},
      {"dir.html", {}, false, "a directory"},
      {"NUL.html", {}, false, "device"},
      {"missing\\page.html", {}, false, "No such file or directory"},
  };
  std::filesystem::create_directory(dir_ / "dir.html");
  for (const auto& c : cases) {
    if (c.content) write_file(c.name, *c.content);
    const std::string why = write(c.name);
    EXPECT_EQ(why.empty(), c.written) << c.name << ": " << why;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
    const std::string now = read_file(c.name);
    EXPECT_EQ(now, c.written ? "<made by QVADMIN> new" : c.content.value_or("")) << c.name;
  }
}

// A file the run reads is never written, by whichever name; a page replaced
// keeps its mode.
TEST_F(Output, NeverTheFileBeingReadAndKeepsTheMode) {
  write_file("page.html", kMarker);
  std::filesystem::create_hard_link(dir_ / "page.html", dir_ / "other-name.log");
  OutputFile page(path("PAGE.HTML"), kMarker);
  ASSERT_EQ(page.refusal(), "");
  std::FILE* log = host_open_read(path("other-name.log").c_str());
  ASSERT_NE(log, nullptr);
  page.reading(log);
  std::fclose(log);
  std::string why;
  EXPECT_FALSE(page.write("x", why));
  EXPECT_EQ(why, "it is one of the files being read");
  EXPECT_EQ(read_file("page.html"), kMarker);

  std::filesystem::remove(dir_ / "other-name.log");
  chmod((dir_ / "page.html").c_str(), 0600);
  EXPECT_EQ(write("page.html"), "");
  struct stat st;
  ASSERT_EQ(stat((dir_ / "page.html").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

}  // namespace
