// Text operations and the text-mode reader over arbitrary bytes. Every
// operation works on a buffer of exactly the text's size (five bytes at least
// for extract_address), so any write past the text is an AddressSanitizer
// finding; the oracles check what each operation may change.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/text.h"
#include "common/text_file.h"
#include "fuzz/fuzz_check.h"

namespace {

bool is_upper_of(char got, char in) {
  if (in >= 'a' && in <= 'z') return got == in - 'a' + 'A';
  return got == in;
}

std::unique_ptr<char[]> buffer_of(const std::string& text, std::size_t at_least = 0) {
  std::size_t size = text.size() + 1 < at_least ? at_least : text.size() + 1;
  auto buf = std::make_unique<char[]>(size);
  std::memcpy(buf.get(), text.c_str(), text.size() + 1);
  return buf;
}

void check_upper_and_cut(const std::string& in) {
  auto up = buffer_of(in);
  FUZZ_CHECK(upper_case_text(up.get()) == up.get());
  FUZZ_CHECK(std::strlen(up.get()) == in.size());
  for (std::size_t i = 0; i < in.size(); ++i) FUZZ_CHECK(is_upper_of(up[i], in[i]));

  auto cut = buffer_of(in);
  cut_at_control_char(cut.get());
  const std::string c = cut.get();
  FUZZ_CHECK(in.compare(0, c.size(), c) == 0);
  for (unsigned char ch : c) FUZZ_CHECK(!is_control_char(ch));
  FUZZ_CHECK(c.size() == in.size() || is_control_char(static_cast<unsigned char>(in[c.size()])));

  auto norm = buffer_of(in);
  normalise_line(norm.get());
  const std::string n = norm.get();
  FUZZ_CHECK(n.size() == c.size());
  for (std::size_t i = 0; i < n.size(); ++i) FUZZ_CHECK(is_upper_of(n[i], in[i]));
}

void check_trim(const std::string& in) {
  auto buf = buffer_of(in);
  FUZZ_CHECK(trim_spaces(buf.get()) == buf.get());
  const std::string out = buf.get();
  // The result is the input with some spaces taken from each end, at most 201
  // per end, and no space left at an end that lost fewer than 201.
  std::size_t lead = 0;
  while (lead < in.size() && lead < 201 && in[lead] == ' ') ++lead;
  FUZZ_CHECK(out.size() <= in.size() - lead);
  const std::size_t trail = in.size() - lead - out.size();
  FUZZ_CHECK(trail <= 201);
  FUZZ_CHECK(in.compare(lead, out.size(), out) == 0);
  for (std::size_t i = in.size() - trail; i < in.size(); ++i) FUZZ_CHECK(in[i] == ' ');
  if (trail < 201 && !out.empty()) FUZZ_CHECK(out.back() != ' ');
  if (lead < 201 && !out.empty()) FUZZ_CHECK(out.front() != ' ');
}

void check_directory_part(const std::string& in) {
  auto buf = buffer_of(in);
  FUZZ_CHECK(directory_part(buf.get()) == buf.get());
  const std::string out = buf.get();
  const std::size_t last = in.rfind('\\');
  FUZZ_CHECK(out == (last == std::string::npos ? std::string() : in.substr(0, last + 1)));
}

void check_extract_address(const std::string& in) {
  auto buf = buffer_of(in, 5);
  char* got = extract_address(buf.get());
  const std::size_t at = in.rfind('@');
  if (at == std::string::npos) {
    FUZZ_CHECK(got == buf.get());
    FUZZ_CHECK(std::strcmp(got, "~BAD") == 0);
    return;
  }
  // A part of the input, in place, holding the last "@" and around it only
  // address characters; nothing of the text grows.
  const std::size_t start = static_cast<std::size_t>(got - buf.get());
  const std::string addr = got;
  FUZZ_CHECK(start <= at && start + addr.size() <= in.size());
  FUZZ_CHECK(in.compare(start, addr.size(), addr) == 0);
  FUZZ_CHECK(at - start < addr.size() && addr[at - start] == '@');
  for (std::size_t i = 0; i < addr.size(); ++i)
    if (start + i != at) FUZZ_CHECK(is_address_char(static_cast<unsigned char>(addr[i])));
  // It takes as much as it may: the first character only when it is the "@".
  FUZZ_CHECK(start == at || start >= 1);
  if (start > 1 && start < at) FUZZ_CHECK(!is_address_char(static_cast<unsigned char>(in[start - 1])));
  if (start == at && at >= 2) FUZZ_CHECK(!is_address_char(static_cast<unsigned char>(in[at - 1])));
  const std::size_t end = start + addr.size();
  FUZZ_CHECK(end == in.size() || !is_address_char(static_cast<unsigned char>(in[end])));
  FUZZ_CHECK(std::strlen(buf.get()) == end);
}

void check_queries(const std::string& text, const std::string& word) {
  const std::size_t hit = text.find(word);
  FUZZ_CHECK(contains(text.c_str(), word.c_str()) == (hit != std::string::npos));
  FUZZ_CHECK(position_of(text.c_str(), word.c_str()) == (hit == std::string::npos ? -1 : static_cast<long>(hit)));
  FUZZ_CHECK(begins_with(text.c_str(), word.c_str()) == (text.compare(0, word.size(), word) == 0));
  FUZZ_CHECK(stands_at(text.c_str(), word.c_str(), 10) == (hit == 10));
  for (std::size_t cap : {std::size_t{1}, std::size_t{5}, std::size_t{100}}) {
    auto dst = std::make_unique<char[]>(cap);
    copy_text(dst.get(), cap, text.c_str());
    FUZZ_CHECK(std::string(dst.get()) == text.substr(0, cap - 1));
  }
}

// TextReader: the pieces put together are the bytes up to the first Ctrl-Z
// with every CR LF as one LF; a piece has at most size - 1 characters and a
// line end only as its last one.
void check_reader(const unsigned char* data, std::size_t size, std::size_t piece) {
  std::string want(reinterpret_cast<const char*>(data), size);
  const std::size_t ctrl_z = want.find('\x1a');
  if (ctrl_z != std::string::npos) want.resize(ctrl_z);
  for (std::size_t i = 0; (i = want.find("\r\n", i)) != std::string::npos;) want.erase(i, 1);

  std::FILE* f = fmemopen(const_cast<unsigned char*>(data), size, "rb");
  if (!f) return;
  TextReader reader(f);
  auto buf = std::make_unique<char[]>(piece);
  std::string got;
  std::size_t rounds = 0;
  while (reader.read_piece(buf.get(), piece)) {
    FUZZ_CHECK(++rounds <= size);
    // A zero byte read stays in the piece, so the piece's bytes are told by
    // comparing with what is still expected.
    const std::size_t len = std::strlen(buf.get());
    FUZZ_CHECK(len <= piece - 1);
    const char* nl = std::strchr(buf.get(), '\n');
    FUZZ_CHECK(nl == nullptr || nl == buf.get() + len - 1);
    std::size_t taken = len;
    // Skip the rest of the piece after a zero byte: it ends at a line end or
    // after piece - 1 characters.
    if (!nl && len < piece - 1 && got.size() + len < want.size() && want[got.size() + len] == '\0') {
      const std::size_t rest = want.find('\n', got.size() + len);
      const std::size_t limit = got.size() + piece - 1;
      std::size_t stop = rest == std::string::npos ? want.size() : rest + 1;
      if (stop > limit) stop = limit;
      if (stop > want.size()) stop = want.size();
      taken = stop - got.size();
    }
    FUZZ_CHECK(std::memcmp(buf.get(), want.data() + got.size(), taken) == 0);
    got += want.substr(got.size(), taken);
  }
  std::fclose(f);
  FUZZ_CHECK(got == want);
}

// Writing: every line end becomes CR LF and nothing else changes.
void check_crlf(const std::string& text) {
  const std::string out = to_crlf(text);
  std::string back;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n') FUZZ_CHECK(i > 0 && out[i - 1] == '\r' && !back.empty() && back.back() == '\r');
    if (out[i] == '\n') back.pop_back();
    back += out[i];
  }
  FUZZ_CHECK(back == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const unsigned char* rest = data;
  std::size_t left = size;
  const std::string text = next_part(rest, left, 0);
  const std::string word = next_part(rest, left, 0);

  check_upper_and_cut(text);
  check_trim(text);
  check_directory_part(text);
  check_extract_address(text);
  check_queries(text, word);
  check_crlf(std::string(reinterpret_cast<const char*>(data), size));
  check_reader(data, size, 100);
  check_reader(data, size, 2 + (size % 7));
  return 0;
}
