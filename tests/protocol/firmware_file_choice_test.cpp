#include <gtest/gtest.h>

#include <string>

#include "core/ini_file.h"
#include "protocol/firmware_file_choice.h"
#include "protocol/firmware_recorders.h"

namespace skyh {
namespace {

TEST(FirmwareFileChoice, ChoosingShowsTheFieldsAndRemembersOnlyGoodFiles) {
  test::FirmwareFixture fixture;
  test::RecordingView view;
  const std::string ini = fixture.dir / "SkyHarvester.ini";
  const std::string good = fixture.dir / "update.phx";

  PhxFile file;
  FirmwareFileFields fields;
  ASSERT_EQ(ChooseFirmwareFile(ini, good, file, fields, &view), kPhxLoaded);
  EXPECT_EQ(fields.path, good);
  EXPECT_EQ(fields.version, "2.5.0");
  EXPECT_EQ(fields.size, "19 Kbytes");  // 20000 bytes
  EXPECT_EQ(CIniFile(ini, false).GetString("update", "filename", ""), good);
  EXPECT_TRUE(view.boxes.empty());

  // Next start: the remembered file comes back without a box.
  PhxFile again;
  FirmwareFileFields restored;
  EXPECT_EQ(RestoreFirmwareFile(ini, again, restored), kPhxLoaded);
  EXPECT_EQ(restored.version, "2.5.0");
  EXPECT_EQ(again.fileCode, file.fileCode);

  const std::string bad = fixture.dir / "bad.phx";
  test::WriteFile(bad, std::string(255, '\x7F'));
  EXPECT_EQ(ChooseFirmwareFile(ini, bad, file, fields, &view), kPhxCorrupted);
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].caption, "Error");
  EXPECT_EQ(view.boxes[0].text, "\"" + bad + "\" file is corrupted\n");
  EXPECT_EQ(fields.path, "");
  EXPECT_EQ(fields.version, "--");
  EXPECT_EQ(fields.size, "--");
  EXPECT_EQ(CIniFile(ini, false).GetString("update", "filename", "x"), "x") << "stored path cleared";

  const std::string none = fixture.dir / "none.phx";
  EXPECT_EQ(ChooseFirmwareFile(ini, none, file, fields, &view), kPhxCannotOpen);
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[1].text, "Open \"" + none + "\" file error\n");
  EXPECT_EQ(RestoreFirmwareFile(ini, again, restored), kPhxCannotOpen);
  EXPECT_TRUE(again.fileCode.empty());
  EXPECT_EQ(restored.path, "");
}

}  // namespace
}  // namespace skyh
