// SHA-256 (FIPS 180-4), for fingerprints of file contents.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Sha256 {
 public:
  Sha256();
  void update(std::string_view bytes);
  // The digest of everything given; the object is spent afterwards.
  std::array<std::uint8_t, 32> finish();

 private:
  void block(const std::uint8_t* data);

  std::array<std::uint32_t, 8> state_;
  std::uint8_t buffer_[64];
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes given
};

// The digest of the bytes as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::string_view bytes);
