#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "protocol/aes_cbc.h"
#include "protocol/phx_builder.h"
#include "protocol/phx_file.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using test::TempDir;

// A .phx made by hand (not by the builder): header, IV, code as given, CRC.
std::vector<uint8_t> HandMadePhx(uint32_t lengthField, const std::vector<uint8_t>& code, uint8_t major,
                                 uint8_t minor, uint8_t patch) {
  std::vector<uint8_t> file(272, 0);
  file[0] = 0x7F;
  for (int i = 0; i < 4; ++i) file[2 + i] = static_cast<uint8_t>(lengthField >> (8 * i));
  file[6] = major;
  file[7] = minor;
  file[8] = patch;
  for (int i = 0; i < 16; ++i) file[256 + i] = static_cast<uint8_t>(0xA0 + i);
  file.insert(file.end(), code.begin(), code.end());
  uint32_t crc = static_cast<uint32_t>(crc32(0, file.data(), static_cast<uInt>(file.size())));
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  return file;
}

std::string AsString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> code(n);
  for (size_t i = 0; i < n; ++i) code[i] = static_cast<uint8_t>(i * 31 + 5);
  return code;
}

TEST(PhxFile, ValidFileGivesVersionSizeIvAndCode) {
  TempDir dir;
  std::vector<uint8_t> code = Pattern(40000);
  test::WriteFile(dir / "ok.phx", AsString(HandMadePhx(40000, code, 1, 4, 2)));
  PhxFile file;
  ASSERT_EQ(LoadPhxFile(dir / "ok.phx", file), kPhxLoaded);
  EXPECT_EQ(file.fileCode, code);
  EXPECT_EQ(file.fileIv[0], 0xA0);
  EXPECT_EQ(file.fileIv[15], 0xAF);
  EXPECT_EQ(FormatFirmwareVersion(file.fileVersion), "1.4.2");
  EXPECT_EQ(file.fileVersion.Number(), 0x010402u);
  EXPECT_EQ(FormatPhxSize(file.fileCode.size()), "39 Kbytes");
  EXPECT_EQ(FormatPhxSize(1023 + 16), "1 Kbytes");
  EXPECT_EQ(FormatFirmwareVersion({255, 0, 10}), "255.0.10");
}

TEST(PhxFile, DamagedFilesAreCorruptedAndLeaveNothingLoaded) {
  TempDir dir;
  std::vector<uint8_t> good = HandMadePhx(256, Pattern(256), 2, 0, 0);
  auto expectCorrupted = [&](const std::vector<uint8_t>& bytes, const char* what) {
    test::WriteFile(dir / "bad.phx", AsString(bytes));
    PhxFile file;
    file.fileCode.assign(5, 1);
    EXPECT_EQ(LoadPhxFile(dir / "bad.phx", file), kPhxCorrupted) << what;
    EXPECT_TRUE(file.fileCode.empty()) << what;
  };
  expectCorrupted(std::vector<uint8_t>(good.begin(), good.begin() + 255), "255 bytes");
  expectCorrupted({}, "empty");
  std::vector<uint8_t> bytes = good;
  bytes[0] = 0x7E;
  expectCorrupted(bytes, "byte 0");
  bytes = good;
  bytes[1] = 0x01;
  expectCorrupted(bytes, "byte 1");
  expectCorrupted(HandMadePhx(272, Pattern(256), 2, 0, 0), "length field larger than the code");
  expectCorrupted(HandMadePhx(240, Pattern(256), 2, 0, 0), "length field smaller than the code");
  bytes = good;
  bytes[272 + 100] ^= 0x01;
  expectCorrupted(bytes, "one code byte changed");
  bytes = good;
  bytes.back() ^= 0x80;
  expectCorrupted(bytes, "checksum changed");
  bytes = good;
  bytes.push_back(0);
  expectCorrupted(bytes, "one byte too many");
  // The checks a well-formed checksum cannot replace: no code, or code that
  // is not whole cipher blocks.
  expectCorrupted(HandMadePhx(0, {}, 2, 0, 0), "no code");
  expectCorrupted(HandMadePhx(40, Pattern(40), 2, 0, 0), "code not a multiple of 16");
}

TEST(PhxFile, LengthNearFourGigabytesDoesNotWrapIntoASmallFile) {
  // 0xFFFFFFF4 + 276 wraps to 264 in 32 bits: a 264-byte file with that
  // length field must be refused before anything reads past its end.
  std::vector<uint8_t> bytes(264, 0);
  bytes[0] = 0x7F;
  bytes[2] = 0xF4;
  bytes[3] = bytes[4] = bytes[5] = 0xFF;
  PhxFile file;
  EXPECT_EQ(ParsePhxBytes(bytes.data(), bytes.size(), file), kPhxCorrupted);
  // Same with a file of 276 + 16 bytes and the length wrapped by 2^32 - 16.
  std::vector<uint8_t> wrapped = HandMadePhx(16, Pattern(16), 1, 0, 0);
  wrapped[2] = 0x00;
  wrapped[3] = wrapped[4] = wrapped[5] = 0xFF;  // 0xFFFFFF00
  EXPECT_EQ(ParsePhxBytes(wrapped.data(), wrapped.size(), file), kPhxCorrupted);
  EXPECT_EQ(ParsePhxBytes(nullptr, 0, file), kPhxCorrupted);
}

TEST(PhxFile, MissingOrUnreadableFileCannotBeOpened) {
  TempDir dir;
  PhxFile file;
  EXPECT_EQ(LoadPhxFile(dir / "none.phx", file), kPhxCannotOpen);
  EXPECT_EQ(LoadPhxFile(dir.path(), file), kPhxCannotOpen);
}

TEST(PhxFile, BuilderMakesFilesTheLoaderAcceptsAndTheKeyDecrypts) {
  std::vector<uint8_t> key(32);
  for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i * 3 + 1);
  std::array<uint8_t, 16> iv{};
  for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(200 - i);
  std::vector<uint8_t> image = Pattern(1000);  // not a multiple of 16
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(BuildPhxBytes(image, {3, 1, 7}, key, iv, bytes));
  EXPECT_EQ(bytes.size(), 1008u + 276u);
  PhxFile file;
  ASSERT_EQ(ParsePhxBytes(bytes.data(), bytes.size(), file), kPhxLoaded);
  EXPECT_EQ(FormatFirmwareVersion(file.fileVersion), "3.1.7");
  EXPECT_EQ(file.fileIv, iv);

  AesCbc cipher;
  ASSERT_TRUE(cipher.Init(AesCbc::Direction::Decrypt, key.data(), iv.data()));
  std::vector<uint8_t> plain(file.fileCode.size());
  ASSERT_TRUE(cipher.Update(file.fileCode.data(), plain.size(), plain.data()));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), plain.begin()));
  EXPECT_EQ(plain[1000], 0xFF);
  EXPECT_EQ(plain[1007], 0xFF);

  EXPECT_FALSE(BuildPhxBytes({}, {1, 0, 0}, key, iv, bytes));
  EXPECT_FALSE(BuildPhxBytes(image, {1, 0, 0}, std::vector<uint8_t>(31), iv, bytes));

  FirmwareVersion v;
  EXPECT_TRUE(ParseFirmwareVersion("2.15.0", v));
  EXPECT_EQ(v.Number(), 0x020F00u);
  EXPECT_FALSE(ParseFirmwareVersion("2.256.0", v));
  EXPECT_FALSE(ParseFirmwareVersion("2.1", v));
  EXPECT_FALSE(ParseFirmwareVersion("2..1", v));
  EXPECT_FALSE(ParseFirmwareVersion("2.1.x", v));
  EXPECT_FALSE(ParseFirmwareVersion("", v));
}

}  // namespace
}  // namespace skyh
