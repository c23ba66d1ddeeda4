// QVADMIN token add against the token file's reader: every token it prints
// opens its own line and no other, whatever the file held before.
#include "admin/token/token_file.h"

#include <gtest/gtest.h>

#include <string>

#include "admin/testing/admin_run.h"
#include "common/sha256.h"
#include "common/testing/scratch.h"

namespace {

class TokenAdd : public ScratchDir {
 protected:
  AdminRun add(const std::vector<std::string>& words) {
    std::vector<std::string> all = {"QVADMIN", "token", "add", "--token-file", path("tokens.txt")};
    all.insert(all.end(), words.begin(), words.end());
    return run_admin_words(all);
  }
  // The token that a run printed: the indented line.
  static std::string printed(const AdminRun& run) {
    const std::size_t at = run.out.find("\n\n    ");
    return at == std::string::npos ? "" : run.out.substr(at + 6, 64);
  }
};

TEST_F(TokenAdd, EachTokenOpensItsOwnLine) {
  // Comments, blank lines, a broken line, and a last line without its line end.
  write_file("tokens.txt", "# console tokens\r\n\r\nbroken line\r\nold * " + sha256_hex("old-secret"));
  const AdminRun ann = add({"ann"});
  const AdminRun bob = add({"bob", "*"});
  ASSERT_EQ(ann.code, 0) << ann.err;
  ASSERT_EQ(bob.code, 0) << bob.err;
  for (const std::vector<std::string>& scoped : {std::vector<std::string>{"carol", "example.org"}, {"dan", "Dan.K+x@a-1.example.org"}})
    ASSERT_EQ(add(scoped).code, 0) << scoped[1];
  const std::string ann_token = printed(ann), bob_token = printed(bob);
  ASSERT_EQ(ann_token.size(), 64u);
  ASSERT_NE(ann_token, bob_token);
  EXPECT_EQ(read_file("tokens.txt").find(ann_token), std::string::npos) << "the token itself is in the file";

  const TokenFile file = read_token_file(path("tokens.txt"));
  ASSERT_EQ(file.tokens.size(), 5u);
  EXPECT_EQ(file.tokens[4].scope, "Dan.K+x@a-1.example.org");
  EXPECT_EQ(file.problems, std::vector<std::string>{"line 3: not NAME SCOPE SHA256-HEX"});
  const struct {
    std::string token;
    const char* name;
  } cases[] = {{ann_token, "ann"}, {bob_token, "bob"}, {"old-secret", "old"}, {"", nullptr},
               {ann_token.substr(1), nullptr}, {sha256_hex("old-secret"), nullptr}};
  for (const auto& c : cases) {
    const TokenLine* found = find_token(file, c.token);
    EXPECT_EQ(found ? found->name.c_str() : "(none)", std::string(c.name ? c.name : "(none)")) << c.token;
  }
}

TEST_F(TokenAdd, MistakesLeaveTheFileAlone) {
  const std::string before = "ann * " + std::string(64, 'a') + "\r\n";
  write_file("tokens.txt", before);
  const std::vector<std::string> mistakes[] = {
      {"ann"}, {"bad name"}, {""}, {std::string(65, 'n')}, {}, {"a", "*", "more"},
      // Scopes: not *, a domain or an address.
      {"new", "@example.org"}, {"new", "example..org"}, {"new", ".org"}, {"new", "org."}, {"new", "*.org"},
      {"new", "a@b@example.org"}, {"new", "@"}, {"new", "ann@"}, {"new", "a b@example.org"}, {"new", "ann@ex_ample.org"},
  };
  for (const auto& words : mistakes) {
    const AdminRun run = add(words);
    EXPECT_EQ(run.code, 2) << testing::PrintToString(words);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(read_file("tokens.txt"), before);
  }
  EXPECT_EQ(run_admin_words({"QVADMIN", "token", "add", "ann2"}).code, 2);  // no --token-file
  EXPECT_EQ(run_admin_words({"QVADMIN", "token", "list", "--token-file", path("tokens.txt")}).code, 2);
}

}  // namespace
