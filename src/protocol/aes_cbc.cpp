#include "protocol/aes_cbc.h"

#include <openssl/evp.h>

#include <climits>

namespace skyh {

AesCbc::AesCbc() : context(EVP_CIPHER_CTX_new()) {}

AesCbc::~AesCbc() { EVP_CIPHER_CTX_free(context); }

bool AesCbc::Init(Direction direction, const uint8_t* key, const uint8_t* iv) {
  ready = false;
  if (!context || !key || !iv) return false;
  int encrypt = direction == Direction::Encrypt ? 1 : 0;
  if (EVP_CipherInit_ex(context, EVP_aes_256_cbc(), nullptr, key, iv, encrypt) != 1) return false;
  // The code is a whole number of cipher blocks: no padding to add or strip.
  if (EVP_CIPHER_CTX_set_padding(context, 0) != 1) return false;
  ready = true;
  return true;
}

bool AesCbc::Update(const uint8_t* in, size_t length, uint8_t* out) {
  if (!ready || length % kAesBlockSize != 0 || length > static_cast<size_t>(INT_MAX)) return false;
  if (length == 0) return true;
  int written = 0;
  if (EVP_CipherUpdate(context, out, &written, in, static_cast<int>(length)) != 1) return false;
  return written == static_cast<int>(length);
}

}  // namespace skyh
