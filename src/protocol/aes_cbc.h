#pragma once
// AES-256 in CBC mode without padding, over OpenSSL's EVP interface. One
// object holds one running chain: pieces passed one after another continue
// the chain (the initialisation vector carries over), so decrypting an image
// block by block gives the same bytes as decrypting it at once.
#include <cstddef>
#include <cstdint>

struct evp_cipher_ctx_st;  // OpenSSL's EVP_CIPHER_CTX

namespace skyh {

constexpr size_t kAesKeySize = 32;
constexpr size_t kAesBlockSize = 16;

class AesCbc {
 public:
  enum class Direction { Encrypt, Decrypt };

  AesCbc();
  ~AesCbc();
  AesCbc(const AesCbc&) = delete;
  AesCbc& operator=(const AesCbc&) = delete;

  // Starts a chain with a 32-byte key and a 16-byte initialisation vector.
  bool Init(Direction direction, const uint8_t* key, const uint8_t* iv);
  // Continues the chain over `length` bytes, a multiple of 16 (anything else
  // is refused: the chain would silently hold back a partial block).
  // `in` and `out` may be the same buffer.
  bool Update(const uint8_t* in, size_t length, uint8_t* out);

 private:
  ::evp_cipher_ctx_st* context = nullptr;
  bool ready = false;
};

}  // namespace skyh
