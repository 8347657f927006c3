#include "base/Sha256.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace zub {

struct TSha256::Impl {
  EVP_MD_CTX* Context = nullptr;
  ~Impl() { EVP_MD_CTX_free(Context); }
};

TSha256::TSha256() : impl_(std::make_unique<Impl>()) {
  impl_->Context = EVP_MD_CTX_new();
  if (!impl_->Context || EVP_DigestInit_ex(impl_->Context, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 could not be computed");
}

TSha256::~TSha256() = default;

void TSha256::Update(Bytes data) {
  if (data.empty()) return;
  if (EVP_DigestUpdate(impl_->Context, data.data(), data.size()) != 1)
    throw std::runtime_error("SHA-256 could not be computed");
}

std::string TSha256::FinishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(impl_->Context, digest, &length) != 1)
    throw std::runtime_error("SHA-256 could not be computed");
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
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
