// SHA-256 from Windows' own cryptography (CNG, bcrypt.dll; see Sha256.h): the engine of the
// Windows build, which needs no library beside the program for it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

#include "base/Sha256.h"

namespace zub {

namespace {

constexpr std::size_t kDigestSize = 32;

void Check(NTSTATUS status) {
  if (!BCRYPT_SUCCESS(status)) throw std::runtime_error("SHA-256 could not be computed");
}

}  // namespace

struct TSha256::Impl {
  BCRYPT_ALG_HANDLE Algorithm = nullptr;
  BCRYPT_HASH_HANDLE Hash = nullptr;
  ~Impl() {
    if (Hash) BCryptDestroyHash(Hash);
    if (Algorithm) BCryptCloseAlgorithmProvider(Algorithm, 0);
  }
};

TSha256::TSha256() : impl_(std::make_unique<Impl>()) {
  Check(BCryptOpenAlgorithmProvider(&impl_->Algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
  // No object buffer of ours: the system keeps the hash's state.
  Check(BCryptCreateHash(impl_->Algorithm, &impl_->Hash, nullptr, 0, nullptr, 0, 0));
}

TSha256::~TSha256() = default;

void TSha256::Update(Bytes data) {
  // The length is a ULONG: a larger span goes in pieces.
  for (std::size_t done = 0; done < data.size();) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(data.size() - done, 1u << 30));
    Check(BCryptHashData(impl_->Hash, const_cast<PUCHAR>(data.data() + done), piece, 0));
    done += piece;
  }
}

std::string TSha256::FinishHex() {
  unsigned char digest[kDigestSize];
  Check(BCryptFinishHash(impl_->Hash, digest, static_cast<ULONG>(kDigestSize), 0));
  return Sha256DigestHex(digest, kDigestSize);
}

}  // namespace zub
