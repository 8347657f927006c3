// SHA-256 from OpenSSL's libcrypto (see Sha256.h): the engine of the Linux builds.
#include <openssl/evp.h>

#include <stdexcept>

#include "base/Sha256.h"

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
  return Sha256DigestHex(digest, length);
}

}  // namespace zub
