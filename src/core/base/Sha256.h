// SHA-256 of bytes and of files, as 64 lower-case hexadecimal digits: the backups' manifest
// records it for every section file. Files are hashed as a stream, a piece at a time, so a
// file of any size costs a fixed amount of memory. The digest itself comes from the
// platform's cryptographic library, each called in a file of its own: OpenSSL's libcrypto
// on Linux (Sha256OpenSsl.cpp), Windows' CNG in the Windows build (Sha256Cng.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "base/Bytes.h"

namespace zub {

class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  void Update(Bytes data);
  // The digest of everything given so far; the object is spent afterwards.
  std::string FinishHex();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The SHA-256 of the bytes.
std::string Sha256Hex(Bytes data);

// A digest's bytes as lower-case hexadecimal digits.
std::string Sha256DigestHex(const unsigned char* digest, std::size_t length);

// Whether `text` is 64 hexadecimal digits (either case).
bool IsSha256Hex(const std::string& text);

}  // namespace zub
