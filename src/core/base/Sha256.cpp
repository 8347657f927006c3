// What SHA-256's two engines share (Sha256OpenSsl.cpp on Linux, Sha256Cng.cpp on Windows;
// see Sha256.h): the one-call digest, the check of a recorded digest, and its hexadecimal form.
#include "base/Sha256.h"

#include <algorithm>
#include <cctype>

namespace zub {

std::string Sha256DigestHex(const unsigned char* digest, std::size_t length) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

std::string Sha256Hex(Bytes data) {
  TSha256 sha;
  sha.Update(data);
  return sha.FinishHex();
}

bool IsSha256Hex(const std::string& text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

}  // namespace zub
