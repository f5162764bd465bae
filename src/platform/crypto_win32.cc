#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>
#include <string>

#include "platform/crypto.h"

namespace talmor {

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string("cryptographic library failed: ") + what);
}

// An algorithm provider opened once per process: plain SHA-256 or its HMAC form.
BCRYPT_ALG_HANDLE Provider(bool hmac) {
  static const BCRYPT_ALG_HANDLE providers[2] = {
      [] {
        BCRYPT_ALG_HANDLE h = nullptr;
        return BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 ? h
                                                                                        : nullptr;
      }(),
      [] {
        BCRYPT_ALG_HANDLE h = nullptr;
        return BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr,
                                           BCRYPT_ALG_HANDLE_HMAC_FLAG) >= 0
                   ? h
                   : nullptr;
      }()};
  BCRYPT_ALG_HANDLE h = providers[hmac ? 1 : 0];
  if (h == nullptr) Fail("sha-256 provider");
  return h;
}

Digest Hash(bool hmac, const unsigned char* key, ULONG key_size,
            std::initializer_list<ByteView> parts) {
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptCreateHash(Provider(hmac), &hash, nullptr, 0, const_cast<PUCHAR>(key), key_size, 0) <
      0) {
    Fail("create hash");
  }
  bool ok = true;
  for (ByteView part : parts) {
    if (!part.empty() &&
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(part.data())),
                       static_cast<ULONG>(part.size()), 0) < 0) {
      ok = false;
      break;
    }
  }
  Digest out{};
  if (ok) ok = BCryptFinishHash(hash, out.data(), static_cast<ULONG>(out.size()), 0) >= 0;
  BCryptDestroyHash(hash);
  if (!ok) Fail("hash data");
  return out;
}

}  // namespace

Digest Sha256(std::initializer_list<ByteView> parts) { return Hash(false, nullptr, 0, parts); }

Digest HmacSha256(const Digest& key, std::initializer_list<ByteView> parts) {
  return Hash(true, key.data(), static_cast<ULONG>(key.size()), parts);
}

Digest Pbkdf2Sha256(ByteView password, ByteView salt, unsigned iterations) {
  Digest out{};
  if (BCryptDeriveKeyPBKDF2(Provider(true),
                            reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
                            static_cast<ULONG>(password.size()),
                            reinterpret_cast<PUCHAR>(const_cast<char*>(salt.data())),
                            static_cast<ULONG>(salt.size()), iterations, out.data(),
                            static_cast<ULONG>(out.size()), 0) < 0) {
    Fail("pbkdf2");
  }
  return out;
}

void RandomBytes(void* buffer, size_t size) {
  if (BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(size),
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
    Fail("random bytes");
  }
}

void WipeBytes(void* buffer, size_t size) { SecureZeroMemory(buffer, size); }

}  // namespace talmor
