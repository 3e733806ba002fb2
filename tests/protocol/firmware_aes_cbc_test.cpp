#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/aes_cbc.h"

namespace skyh {
namespace {

std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return out;
}

// NIST SP 800-38A, F.2.6 CBC-AES256.Decrypt.
const std::vector<uint8_t> kKey = Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const std::vector<uint8_t> kIv = Hex("000102030405060708090a0b0c0d0e0f");
const std::vector<uint8_t> kCipher = Hex(
    "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
    "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
const std::vector<uint8_t> kPlain = Hex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");

TEST(FirmwareAesCbc, DecryptsTheNistVectorWholeAndPieceByPiece) {
  AesCbc whole;
  ASSERT_TRUE(whole.Init(AesCbc::Direction::Decrypt, kKey.data(), kIv.data()));
  std::vector<uint8_t> out(kCipher.size());
  ASSERT_TRUE(whole.Update(kCipher.data(), kCipher.size(), out.data()));
  EXPECT_EQ(out, kPlain);

  // One block at a time, in place: the chain carries over between calls.
  AesCbc pieces;
  ASSERT_TRUE(pieces.Init(AesCbc::Direction::Decrypt, kKey.data(), kIv.data()));
  std::vector<uint8_t> buffer = kCipher;
  for (size_t offset = 0; offset < buffer.size(); offset += 16)
    ASSERT_TRUE(pieces.Update(buffer.data() + offset, 16, buffer.data() + offset));
  EXPECT_EQ(buffer, kPlain);

  // Encrypting gives the vector's cipher text back (the .phx builder's side).
  AesCbc encrypt;
  ASSERT_TRUE(encrypt.Init(AesCbc::Direction::Encrypt, kKey.data(), kIv.data()));
  ASSERT_TRUE(encrypt.Update(kPlain.data(), kPlain.size(), out.data()));
  EXPECT_EQ(out, kCipher);
}

TEST(FirmwareAesCbc, LongImageInUnevenPiecesEqualsWholeAndRefusesPartialBlocks) {
  std::vector<uint8_t> image(46320);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  std::vector<uint8_t> whole(image.size());
  AesCbc a;
  ASSERT_TRUE(a.Init(AesCbc::Direction::Decrypt, kKey.data(), kIv.data()));
  ASSERT_TRUE(a.Update(image.data(), image.size(), whole.data()));

  std::vector<uint8_t> pieces(image.size());
  AesCbc b;
  ASSERT_TRUE(b.Init(AesCbc::Direction::Decrypt, kKey.data(), kIv.data()));
  const size_t sizes[] = {2048, 16, 512, 1024, 256};
  size_t offset = 0;
  for (int k = 0; offset < image.size(); ++k) {
    size_t n = std::min(sizes[k % 5], image.size() - offset);
    ASSERT_TRUE(b.Update(image.data() + offset, n, pieces.data() + offset));
    offset += n;
  }
  EXPECT_EQ(pieces, whole);

  // A piece that is not whole cipher blocks is refused, not held back.
  AesCbc c;
  ASSERT_TRUE(c.Init(AesCbc::Direction::Decrypt, kKey.data(), kIv.data()));
  EXPECT_FALSE(c.Update(image.data(), 20, pieces.data()));
  AesCbc notReady;
  EXPECT_FALSE(notReady.Update(image.data(), 16, pieces.data()));
}

}  // namespace
}  // namespace skyh
