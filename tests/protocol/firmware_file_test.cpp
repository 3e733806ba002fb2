// Firmware files: loading and checking, the cipher, and choosing a file.
#include <zlib.h>

#include "core/ini_file.h"
#include "protocol/aes_cbc.h"
#include "protocol/firmware_file_choice.h"
#include "protocol/firmware_recorders.h"
#include "protocol/phx_file.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes Pattern(size_t n) { return test::PatternBytes(n, 5); }

// A .phx made by hand (not by the builder): header, IV, code as given, CRC.
Bytes HandMadePhx(uint32_t lengthField, const Bytes& code) {
  Bytes file(272, 0);
  file[0] = 0x7F;
  for (int i = 0; i < 4; ++i) file[2 + i] = static_cast<uint8_t>(lengthField >> (8 * i));
  std::copy_n("\1\4\2", 3, file.begin() + 6);  // version 1.4.2
  for (int i = 0; i < 16; ++i) file[256 + i] = static_cast<uint8_t>(0xA0 + i);
  file.insert(file.end(), code.begin(), code.end());
  uint32_t crc = static_cast<uint32_t>(crc32(0, file.data(), static_cast<uInt>(file.size())));
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  return file;
}

int Parse(const Bytes& bytes, PhxFile& file) { return ParsePhxBytes(bytes.data(), bytes.size(), file); }

TEST(PhxFile, ValidFileGivesItsFieldsAndDamagedOnesLeaveNothingLoaded) {
  const Bytes code = Pattern(40000);
  PhxFile file;
  ASSERT_EQ(Parse(HandMadePhx(40000, code), file), kPhxLoaded);
  EXPECT_TRUE(file.fileCode == code && file.fileIv[15] == 0xAF);
  EXPECT_EQ(FormatFirmwareVersion(file.fileVersion) + " " + FormatPhxSize(file.fileCode.size()), "1.4.2 39 Kbytes");

  // The builder pads the image with 0xFF to whole blocks; the key decrypts it.
  test::FirmwareFixture fixture;
  fixture.MakePhx(Pattern(1000), {3, 1, 7});
  AesCbc cipher;
  ASSERT_TRUE(cipher.Init(AesCbc::Direction::Decrypt, fixture.key.data(), fixture.phx.fileIv.data()));
  Bytes plain(1008);
  ASSERT_EQ(fixture.phx.fileCode.size(), 1008u);
  ASSERT_TRUE(cipher.Update(fixture.phx.fileCode.data(), plain.size(), plain.data()));
  EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 1000), Pattern(1000));
  EXPECT_EQ(plain[1007], 0xFF);

  FirmwareVersion v;
  EXPECT_TRUE(ParseFirmwareVersion("2.15.0", v));
  EXPECT_EQ(v.Number(), 0x020F00u);
  for (const char* bad : {"2.256.0", "2.1", "2..1", "2.1.x", ""}) EXPECT_FALSE(ParseFirmwareVersion(bad, v)) << bad;

  const Bytes good = HandMadePhx(256, Pattern(256));
  auto expectCorrupted = [](const Bytes& bytes, const char* what) {
    PhxFile file;
    file.fileCode.assign(5, 1);
    EXPECT_EQ(Parse(bytes, file), kPhxCorrupted) << what;
    EXPECT_TRUE(file.fileCode.empty()) << what;
  };
  for (size_t at : {0, 272 + 100}) {
    Bytes bytes = good;
    bytes[at] ^= 0x01;
    expectCorrupted(bytes, at ? "one code byte changed" : "byte 0");
  }
  expectCorrupted(HandMadePhx(272, Pattern(256)), "length field disagreeing with the size");
  // What a well-formed checksum cannot replace: no code, code not whole cipher blocks.
  expectCorrupted(HandMadePhx(0, {}), "no code");
  expectCorrupted(HandMadePhx(40, Pattern(40)), "code not a multiple of 16");
  // A length near 2^32 must not wrap into the size of a small file.
  Bytes bytes(264, 0);
  bytes[0] = 0x7F;
  bytes[2] = 0xF4;  // 0xFFFFFFF4 + 276 is 264 in 32 bits
  bytes[3] = bytes[4] = bytes[5] = 0xFF;
  expectCorrupted(bytes, "length wrapping to 264");
}

// NIST SP 800-38A, F.2.6 CBC-AES256.Decrypt.
TEST(FirmwareAesCbc, DecryptsTheNistVectorAndOnlyWholeBlocks) {
  const Bytes key = Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  const Bytes iv = Hex("000102030405060708090a0b0c0d0e0f");
  const Bytes cipher = Hex(
      "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
      "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
  const Bytes plain = Hex(
      "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
      "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  AesCbc whole;
  ASSERT_TRUE(whole.Init(AesCbc::Direction::Decrypt, key.data(), iv.data()));
  Bytes out(cipher.size());
  ASSERT_TRUE(whole.Update(cipher.data(), cipher.size(), out.data()));
  EXPECT_EQ(out, plain);

  // The update decrypts block by block; the chain over calls is checked there.
  EXPECT_FALSE(whole.Update(out.data(), 20, out.data())) << "not whole blocks";
  EXPECT_FALSE(AesCbc().Update(out.data(), 16, out.data())) << "no Init";
}

TEST(FirmwareFileChoice, ChoosingShowsTheFieldsAndRemembersOnlyGoodFiles) {
  test::FirmwareFixture fixture;
  test::RecordingView view;
  const std::string ini = fixture.dir / "SkyHarvester.ini";
  const std::string good = fixture.dir / "update.phx";
  PhxFile file;
  FirmwareFileFields fields;
  ASSERT_EQ(ChooseFirmwareFile(ini, good, file, fields, &view), kPhxLoaded);
  EXPECT_EQ(fields.path + " " + fields.version, good + " 2.5.0");
  EXPECT_TRUE(view.boxes.empty());
  // Next start: the remembered file comes back without a box.
  PhxFile again;
  FirmwareFileFields restored;
  EXPECT_EQ(RestoreFirmwareFile(ini, again, restored), kPhxLoaded);
  EXPECT_EQ(again.fileCode, file.fileCode);

  const std::string bad = fixture.dir / "bad.phx";
  test::WriteFile(bad, std::string(255, '\x7F'));
  EXPECT_EQ(ChooseFirmwareFile(ini, bad, file, fields, &view), kPhxCorrupted);
  EXPECT_EQ(view.boxes.at(0).caption, "Error");
  EXPECT_EQ(fields.path + fields.version + fields.size, "----");
  EXPECT_EQ(CIniFile(ini, false).GetString("update", "filename", "x"), "x") << "stored path cleared";

  const std::string none = fixture.dir / "none.phx";
  EXPECT_EQ(ChooseFirmwareFile(ini, none, file, fields, &view), kPhxCannotOpen);
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[1].text, "Open \"" + none + "\" file error\n");
  EXPECT_EQ(RestoreFirmwareFile(ini, again, restored), kPhxCannotOpen);
  EXPECT_TRUE(again.fileCode.empty());
  EXPECT_EQ(LoadPhxFile(fixture.dir.path(), file), kPhxCannotOpen) << "a folder";

  // A relative choice is remembered as an absolute path.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::create_directories(fixture.dir / "sub");
  std::filesystem::current_path(fixture.dir / "sub");
  const int result = ChooseFirmwareFile(ini, "../update.phx", file, fields, nullptr);
  std::filesystem::current_path(before);
  ASSERT_EQ(result, kPhxLoaded);
  EXPECT_EQ(CIniFile(ini, false).GetString("update", "filename", ""), good);
}

}  // namespace
}  // namespace skyh
