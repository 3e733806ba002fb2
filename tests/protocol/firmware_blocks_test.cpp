#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/firmware_assets.h"
#include "protocol/firmware_blocks.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

TEST(FirmwareBlocks, BlockSizeRoundsDownToAPowerOfTwoFrom256To2048) {
  EXPECT_EQ(RoundBlockSize(600), 512);
  EXPECT_EQ(RoundBlockSize(100), 256);
  EXPECT_EQ(RoundBlockSize(0), 256);
  EXPECT_EQ(RoundBlockSize(256), 256);
  EXPECT_EQ(RoundBlockSize(511), 256);
  EXPECT_EQ(RoundBlockSize(1023), 512);
  EXPECT_EQ(RoundBlockSize(1024), 1024);
  EXPECT_EQ(RoundBlockSize(2047), 1024);
  EXPECT_EQ(RoundBlockSize(2048), 2048);
  EXPECT_EQ(RoundBlockSize(65535), 2048);
}

TEST(FirmwareBlocks, ScramblingIsACrcXmodemKeyStreamOverTheRotatedKey) {
  // With nine key bytes the first byte's key run starts at index 3, so the
  // key "789123456" runs through "123456789", whose CRC-16/XMODEM is 0x31C3.
  const std::string key = "789123456";
  const auto* keyBytes = reinterpret_cast<const uint8_t*>(key.data());
  uint16_t state = 0;
  uint8_t one[1] = {0x00};
  ScrambleBlock(state, one, 1, keyBytes, 9);
  EXPECT_EQ(state, 0x31C3);
  EXPECT_EQ(one[0], 0xC3);

  // One key byte 0x01 from state 0 gives the polynomial itself.
  const uint8_t single[1] = {0x01};
  state = 0;
  uint8_t data[2] = {0xFF, 0x00};
  ScrambleBlock(state, data, 1, single, 1);
  EXPECT_EQ(state, 0x1021);
  EXPECT_EQ(data[0], 0xFF ^ 0x21);
  EXPECT_EQ(data[1], 0x00) << "bytes beyond n are left alone";

  // Applying the same stream twice gives the data back; the state carries
  // over, so the second block of a run is scrambled differently from the first.
  std::vector<uint8_t> block(512);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> first = block, second = block;
  uint16_t s1 = 0x0042;
  ScrambleBlock(s1, first.data(), first.size(), keyBytes, 9);
  ScrambleBlock(s1, second.data(), second.size(), keyBytes, 9);
  EXPECT_NE(first, second);
  uint16_t s2 = 0x0042;
  ScrambleBlock(s2, first.data(), first.size(), keyBytes, 9);
  EXPECT_EQ(first, block);

  // The stream does not depend on the data: a receiver can follow it over
  // blocks that were never sent.
  std::vector<uint8_t> zeros(512, 0);
  uint16_t s3 = 0x0042, s4 = 0x0042;
  ScrambleBlock(s3, zeros.data(), zeros.size(), keyBytes, 9);
  ScrambleBlock(s4, block.data(), block.size(), keyBytes, 9);
  EXPECT_EQ(s3, s4);
  EXPECT_EQ(s3, s2);
}

TEST(FirmwareBlocks, NoKeyBytesLeaveTheBlockAloneAndErasedBlocksAreAllFF) {
  std::vector<uint8_t> block = {1, 2, 3};
  uint16_t state = 7;
  ScrambleBlock(state, block.data(), block.size(), nullptr, 0);
  ScrambleBlock(state, block.data(), block.size(), block.data(), 0);
  ScrambleBlock(state, block.data(), block.size(), block.data(), -5);
  EXPECT_EQ(block, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(state, 7);

  std::vector<uint8_t> erased(256, 0xFF);
  EXPECT_TRUE(IsErasedBlock(erased.data(), erased.size()));
  erased[255] = 0xFE;
  EXPECT_FALSE(IsErasedBlock(erased.data(), erased.size()));
}

TEST(FirmwareBlocks, AssetsNeedAllThreeFilesAtTheirSizes) {
  test::TempDir dir;
  FirmwareAssets assets;
  std::string error;
  EXPECT_FALSE(LoadFirmwareAssets(dir.path(), assets, error));
  EXPECT_NE(error.find(kFirmwareKeyFileName), std::string::npos) << error;

  test::WriteFile(dir / kFirmwareKeyFileName, std::string(32, 'k'));
  test::WriteFile(dir / kApplicationModeImageFileName, std::string(46320, 'a'));
  test::WriteFile(dir / kBootBlockFileName, std::string(4095, 'b'));
  EXPECT_FALSE(LoadFirmwareAssets(dir.path(), assets, error));
  EXPECT_NE(error.find(kBootBlockFileName), std::string::npos) << error;
  EXPECT_NE(error.find("4095"), std::string::npos) << error;
  EXPECT_TRUE(assets.aesKey.empty());

  test::WriteFile(dir / kBootBlockFileName, std::string(4096, 'b'));
  test::WriteFile(dir / kFirmwareKeyFileName, std::string(33, 'k'));
  EXPECT_FALSE(LoadFirmwareAssets(dir.path(), assets, error));
  EXPECT_NE(error.find(kFirmwareKeyFileName), std::string::npos) << error;

  test::WriteFile(dir / kFirmwareKeyFileName, std::string(32, 'k'));
  ASSERT_TRUE(LoadFirmwareAssets(dir.path().substr(0, dir.path().size() - 1), assets, error)) << error;
  EXPECT_EQ(assets.aesKey.size(), 32u);
  EXPECT_EQ(assets.applicationModeImage.size(), 46320u);
  EXPECT_EQ(assets.bootBlock[4095], 'b');
}

}  // namespace
}  // namespace skyh
