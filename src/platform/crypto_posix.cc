#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/crypto.h"

namespace talmor {

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string("cryptographic library failed: ") + what);
}

}  // namespace

Digest Sha256(std::initializer_list<ByteView> parts) {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) Fail("sha-256 init");
  for (ByteView part : parts) {
    if (EVP_DigestUpdate(ctx.get(), part.data(), part.size()) != 1) Fail("sha-256 update");
  }
  Digest out{};
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(ctx.get(), out.data(), &size) != 1 || size != out.size()) {
    Fail("sha-256 final");
  }
  return out;
}

Digest HmacSha256(const Digest& key, std::initializer_list<ByteView> parts) {
  // The MAC implementation is fetched once per process.
  static EVP_MAC* const mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (mac == nullptr) Fail("hmac fetch");
  std::unique_ptr<EVP_MAC_CTX, void (*)(EVP_MAC_CTX*)> ctx(EVP_MAC_CTX_new(mac), EVP_MAC_CTX_free);
  char digest_name[] = "SHA256";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest_name, 0),
      OSSL_PARAM_construct_end()};
  if (!ctx || EVP_MAC_init(ctx.get(), key.data(), key.size(), params) != 1) Fail("hmac init");
  for (ByteView part : parts) {
    if (EVP_MAC_update(ctx.get(), reinterpret_cast<const unsigned char*>(part.data()),
                       part.size()) != 1) {
      Fail("hmac update");
    }
  }
  Digest out{};
  size_t size = 0;
  if (EVP_MAC_final(ctx.get(), out.data(), &size, out.size()) != 1 || size != out.size()) {
    Fail("hmac final");
  }
  return out;
}

Digest Pbkdf2Sha256(ByteView password, ByteView salt, unsigned iterations) {
  Digest out{};
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()),
                        static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(),
                        static_cast<int>(out.size()), out.data()) != 1) {
    Fail("pbkdf2");
  }
  return out;
}

void RandomBytes(void* buffer, size_t size) {
  if (RAND_bytes(static_cast<unsigned char*>(buffer), static_cast<int>(size)) != 1) {
    Fail("random bytes");
  }
}

void WipeBytes(void* buffer, size_t size) { OPENSSL_cleanse(buffer, size); }

}  // namespace talmor
