#include "common/host.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/testing/scratch.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

class HostFiles : public ScratchDir {
 protected:
  std::string read_back(std::FILE* f) {
    std::string s;
    for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
    std::fclose(f);
    return s;
  }
};

#ifndef _WIN32
TEST_F(HostFiles, ExactNameWinsThenFirstInByteOrder) {
  write_file("Rules", "mixed");
  write_file("RULES", "upper");
  write_file("rules", "lower");
  EXPECT_EQ(read_back(host_open_read(path("rules").c_str())), "lower");
  EXPECT_EQ(read_back(host_open_read(path("rULES").c_str())), "upper");
}

TEST_F(HostFiles, NewFileKeepsTheNameAsBuilt) {
  ASSERT_TRUE(host_append(path("QEL0109.LOG").c_str(), "a\r\n", 3));
  ASSERT_TRUE(host_append(path("qel0109.log").c_str(), "b\r\n", 3));
  EXPECT_TRUE(fs::exists(dir_ / "QEL0109.LOG"));
  EXPECT_FALSE(fs::exists(dir_ / "qel0109.log"));
  EXPECT_EQ(read_back(host_open_read(path("QEL0109.LOG").c_str())), "a\r\nb\r\n");
}
#endif

TEST_F(HostFiles, MappedWindowsHoldTheFile) {
  const std::size_t unit = host_map_granularity();
  std::string bytes(3 * unit + 100, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  write_file("dec.log", bytes);
  std::FILE* f = host_open_read(path("dec.log").c_str());
  ASSERT_NE(f, nullptr);
  std::uint64_t start = 1;
  HostFileMap* map = host_map_open(f, start);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(start, 0u);
  struct Want {
    std::uint64_t offset;
    std::size_t asked, got;
  };
  for (const Want w : {Want{0, 2 * unit, 2 * unit}, Want{unit, 2 * unit, 2 * unit}, Want{2 * unit, 4 * unit, unit + 100},
                       Want{3 * unit, unit, 100}, Want{4 * unit, unit, 0}, Want{0, 1, 1}}) {
    const char* data = nullptr;
    std::size_t size = w.asked;
    ASSERT_TRUE(host_map_window(map, w.offset, data, size)) << w.offset;
    ASSERT_EQ(size, w.got) << w.offset;
    if (size > 0) {
      EXPECT_EQ(std::string(data, size), bytes.substr(w.offset, size)) << w.offset;
    }
  }
  host_map_close(map);
  std::fclose(f);
}

#ifndef _WIN32
TEST_F(HostFiles, StreamsWithoutAFileAreNotMapped) {
  char bytes[] = "in memory";
  std::FILE* f = fmemopen(bytes, sizeof bytes - 1, "rb");
  ASSERT_NE(f, nullptr);
  std::uint64_t start = 0;
  EXPECT_EQ(host_map_open(f, start), nullptr);
  std::fclose(f);
}

// Another program may cut a log short while it is mapped: the bytes that are
// gone read as zero bytes instead of ending the program with SIGBUS.
TEST_F(HostFiles, AFileCutShortUnderAWindowReadsAsZeroBytes) {
  const std::size_t unit = host_map_granularity();
  write_file("dec.log", std::string(3 * unit, 'a'));
  std::FILE* f = host_open_read(path("dec.log").c_str());
  ASSERT_NE(f, nullptr);
  std::uint64_t start = 0;
  HostFileMap* map = host_map_open(f, start);
  ASSERT_NE(map, nullptr);
  const char* data = nullptr;
  std::size_t size = 3 * unit;
  ASSERT_TRUE(host_map_window(map, 0, data, size));
  ASSERT_EQ(size, 3 * unit);
  EXPECT_EQ(data[unit / 2], 'a');
  fs::resize_file(dir_ / "dec.log", unit);
  const volatile char* view = data;
  EXPECT_EQ(view[2 * unit + 5], '\0');
  EXPECT_EQ(view[unit + 1], '\0');
  EXPECT_EQ(view[unit - 1], 'a');
  size = unit;  // the next window begins past the new end
  ASSERT_TRUE(host_map_window(map, unit, data, size));
  EXPECT_EQ(size, 0u);
  host_map_close(map);
  std::fclose(f);
}
#endif

TEST_F(HostFiles, ReplaceLeavesOnlyTheNewFile) {
  write_file("veskol.txt", "old report, longer than the new one");
  ASSERT_EQ(host_replace_file(path("VESKOL.TXT").c_str(), "new", 3), ReplaceOutcome::Replaced);
  EXPECT_EQ(read_back(host_open_read(path("veskol.txt").c_str())), "new");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"veskol.txt"});

  fs::create_directory(dir_ / "dir.txt");
  EXPECT_EQ(host_replace_file(path("dir.txt").c_str(), "x", 1), ReplaceOutcome::NotCreated);
  EXPECT_EQ(host_replace_file(path("missing\\veskol.txt").c_str(), "x", 1), ReplaceOutcome::NotCreated);
}

// A rule file changed in place: the bytes, nothing left beside it, the
// name as it was (found without regard to case), the mode kept; what cannot
// be replaced stays as it was, leaves no temporary and says why.
TEST_F(HostFiles, InstallReplacesInOneStepAndKeepsTheMode) {
  write_file("EXAMPLE.ORG/ann.quorvant", "old\r\n");
  fs::permissions(dir_ / "EXAMPLE.ORG/ann.quorvant", fs::perms(0640));
  ASSERT_TRUE(host_install_file(path("example.org\\ANN.QUORVANT").c_str(),
                                path("example.org\\ANN.QUORVANT.new").c_str(), "new\r\n"))
      << host_error_text();
  EXPECT_EQ(read_file("EXAMPLE.ORG/ann.quorvant"), "new\r\n");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_ / "EXAMPLE.ORG")) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"ann.quorvant"});
#ifndef _WIN32
  EXPECT_EQ(fs::status(dir_ / "EXAMPLE.ORG/ann.quorvant").permissions() & fs::perms::all, fs::perms(0640));
#endif
  ASSERT_TRUE(host_install_file(path("EXAMPLE.ORG\\NEW.QUORVANT").c_str(), path("EXAMPLE.ORG\\NEW.tmp").c_str(), "made"));
  EXPECT_EQ(read_file("EXAMPLE.ORG/NEW.QUORVANT"), "made");

  fs::create_directory(dir_ / "dir.QUORVANT");
  EXPECT_FALSE(host_install_file(path("dir.QUORVANT").c_str(), path("dir.tmp").c_str(), "x"));
  EXPECT_EQ(host_error_text(), "a directory");
  EXPECT_TRUE(fs::is_directory(dir_ / "dir.QUORVANT"));
  EXPECT_FALSE(fs::exists(dir_ / "dir.tmp"));
  EXPECT_FALSE(host_install_file(path("missing\\x.QUORVANT").c_str(), path("missing\\x.tmp").c_str(), "x"));
  EXPECT_TRUE(host_error_is_missing());
}

TEST_F(HostFiles, KindsReadingAndRemoval) {
  write_file("a.QUORVANT", std::string(100, 'a'));
  fs::create_directory(dir_ / "d");
  std::string bytes;
  EXPECT_EQ(host_file_kind(path("A.quorvant").c_str()), FileKind::Regular);
  EXPECT_EQ(host_file_kind(path("d").c_str()), FileKind::Other);
  EXPECT_EQ(host_file_kind(path("none").c_str()), FileKind::Missing);
  EXPECT_EQ(host_file_kind(path("NUL.QUORVANT").c_str()), FileKind::Other);
#ifndef _WIN32
  fs::create_symlink(dir_ / "a.QUORVANT", dir_ / "link.QUORVANT");
  EXPECT_EQ(host_file_kind(path("link.QUORVANT").c_str()), FileKind::Link);
#endif
  EXPECT_TRUE(host_read_file(path("a.QUORVANT").c_str(), 100, bytes));
  EXPECT_EQ(bytes, std::string(100, 'a'));
  EXPECT_FALSE(host_read_file(path("a.QUORVANT").c_str(), 99, bytes));
  EXPECT_EQ(host_error_text(), "larger than a rule file can be");
  EXPECT_FALSE(host_read_file(path("d").c_str(), 100, bytes));
  EXPECT_FALSE(host_read_file(path("none").c_str(), 100, bytes));
  EXPECT_TRUE(host_error_is_missing());

  EXPECT_TRUE(host_remove_file(path("A.QUORVANT").c_str()));
  EXPECT_FALSE(fs::exists(dir_ / "a.QUORVANT"));
  EXPECT_FALSE(host_remove_file(path("A.QUORVANT").c_str()));
  bool created = false;
  EXPECT_TRUE(host_make_directory(path("NEW.ORG").c_str(), created));
  EXPECT_TRUE(created);
  EXPECT_TRUE(host_make_directory(path("new.org").c_str(), created));
  EXPECT_FALSE(created);
  write_file("NEW.ORG/x", "");
  EXPECT_FALSE(host_remove_empty_directory(path("NEW.ORG").c_str()));
  fs::remove(dir_ / "NEW.ORG/x");
  EXPECT_TRUE(host_remove_empty_directory(path("NEW.ORG").c_str()));
}

// Two holders of the lock exclude each other (the second waits, then gives
// up), and the lock is free again once released.
TEST_F(HostFiles, LockExcludesASecondHolder) {
  HostLock* first = host_lock(path("lock").c_str(), 0);
  ASSERT_NE(first, nullptr) << host_error_text();
  EXPECT_EQ(host_lock(path("lock").c_str(), 50), nullptr);
  EXPECT_EQ(host_error_text(), "held by another process");
  host_unlock(first);
  HostLock* again = host_lock(path("lock").c_str(), 0);
  EXPECT_NE(again, nullptr);
  host_unlock(again);
}

TEST(HostNames, DevicesInTheLastComponent) {
  const struct {
    const char* path;
    bool device;
  } cases[] = {
      {"NUL", true},          {"c:\\x\\nul.quorvant", true}, {"X\\Com1.X.QUORVANT", true},
      {"X/lpt9", true},       {"X\\AUX. . ", true},            {"X\\CON .TXT", true},
      {"X\\PRN:", true},      {"C:NUL", true},                 {"X\\COM0", false},
      {"X\\LPT10", false},    {"X\\NULL", false},              {"X\\ NUL", false},
      {"NUL\\X", false},      {"X\\CON\\", false},             {"", false},
      {"X\\COM\xb9", false},
  };
  for (const auto& c : cases) EXPECT_EQ(host_names_device(c.path), c.device) << c.path;
}

#ifndef _WIN32
TEST_F(HostFiles, TrailingDotsAndSpacesAsWindowsDropsThem) {
  write_file("A/F", "one");
  write_file("A../F", "two");
  const struct {
    const char* path;
    const char* content;  // nullptr: not found
  } cases[] = {
      {"A\\F", "one"}, {"A.\\F", "one"},   {"A\\F. . ", "one"}, {"A..\\F..", "two"},
      {"A. \\F", nullptr}, {"A.\\.F", nullptr},
  };
  for (const auto& c : cases) {
    std::FILE* f = host_open_read(path(c.path).c_str());
    if (!c.content) {
      EXPECT_EQ(f, nullptr) << c.path;
      if (f) std::fclose(f);
    } else {
      ASSERT_NE(f, nullptr) << c.path;
      EXPECT_EQ(read_back(f), c.content) << c.path;
    }
  }
}

// In a child process whose file size limit lets only part of the line in,
// as a full disk would.
TEST_F(HostFiles, AppendTakesBackALineCutShort) {
  write_file("QEL0109.LOG", "a\r\n");
  const std::string log = path("QEL0109.LOG");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{6, 6};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(host_append(log.c_str(), "bbbbb\r\n", 7) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_back(host_open_read(log.c_str())), "a\r\n");
  ASSERT_TRUE(host_append(log.c_str(), "c\r\n", 3));
  EXPECT_EQ(read_back(host_open_read(log.c_str())), "a\r\nc\r\n");
}
#endif

// Secrets: no two draws alike, and every byte takes many values.
TEST(HostRandom, DrawsDiffer) {
  std::vector<std::string> draws;
  for (int i = 0; i < 64; ++i) {
    std::string bytes(32, '\0');
    ASSERT_TRUE(host_random_bytes(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()));
    for (const std::string& before : draws) EXPECT_NE(bytes, before);
    draws.push_back(bytes);
  }
  for (std::size_t at = 0; at < 32; ++at) {
    std::set<char> seen;
    for (const std::string& draw : draws) seen.insert(draw[at]);
    EXPECT_GT(seen.size(), 16u) << "byte " << at;
  }
}

// Four threads take 4,000 turns in order, each the turns of its number
// modulo 4: none runs out of turn and none waits for good.
TEST(HostTurns, TakenInOrder) {
  constexpr std::size_t kThreads = 4, kTurns = 4000;
  struct Taker {
    HostTurns* turns;
    std::vector<std::size_t>* taken;
    std::size_t first;
  };
  HostTurns turns;
  std::vector<std::size_t> taken;
  std::vector<Taker> takers;
  for (std::size_t t = 0; t < kThreads; ++t) takers.push_back({&turns, &taken, t});
  std::vector<HostThread*> threads;
  for (Taker& taker : takers)
    threads.push_back(host_start_thread(
        [](void* context) {
          const auto* taker = static_cast<Taker*>(context);
          for (std::size_t turn = taker->first; turn < kTurns; turn += kThreads) {
            taker->turns->wait_for(turn);
            taker->taken->push_back(turn);
            taker->turns->pass();
          }
        },
        &taker));
  for (HostThread* thread : threads) {
    ASSERT_NE(thread, nullptr);
    host_join_thread(thread);
  }
  ASSERT_EQ(taken.size(), kTurns);
  for (std::size_t turn = 0; turn < kTurns; ++turn) ASSERT_EQ(taken[turn], turn);
}

#ifndef _WIN32
// A position past 4 GiB, in a sparse file, holds the byte written there.
TEST_F(HostFiles, SeekPastFourGiB) {
  const std::uint64_t far = (std::uint64_t{1} << 32) + 12345;
  {
    std::FILE* f = std::fopen((dir_ / "big.log").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fseeko(f, static_cast<off_t>(far), SEEK_SET), 0);
    std::fputs("X\n", f);
    std::fclose(f);
  }
  std::FILE* f = host_open_read(path("big.log").c_str());
  ASSERT_NE(f, nullptr);
  std::uint64_t size = 0;
  EXPECT_TRUE(host_file_size(f, size));
  EXPECT_EQ(size, far + 2);
  ASSERT_TRUE(host_seek(f, far));
  EXPECT_EQ(std::fgetc(f), 'X');
  std::fclose(f);
}
#endif

}  // namespace
