#pragma once
// Recorders for what the firmware update asks and shows in its boxes, and a
// set of made-here key, images and .phx files in a temporary folder.
#include <array>
#include <deque>

#include "core/progress.h"
#include "protocol/firmware_assets.h"
#include "protocol/firmware_update.h"
#include "protocol/phx_builder.h"
#include "support/progress_recorder.h"
#include "support/record_bytes.h"
#include "support/test_common.h"

namespace skyh::test {

class ScriptedPrompt : public IPrompt {
 public:
  bool AskYesNo(const std::string& caption, const std::string& text) override {
    questions.push_back(caption + "|" + text);
    const bool a = answers.empty() || answers.front();
    if (!answers.empty()) answers.pop_front();
    return a;
  }
  std::deque<bool> answers;  // Yes when empty
  std::vector<std::string> questions;
};

class RecordingView : public IFirmwareView {
 public:
  void ShowDeviceVersion(const std::string& text) override { deviceVersion = text; }
  void ShowBootVersion(const std::string& text) override { bootVersion = text; }
  void EnableControls(bool enabled) override { controls.push_back(enabled); }
  void ShowLinkDescription(const std::string& text) override { linkDescription = text; }
  void ShowBox(const std::string& caption, MessageKind icon, const std::string& text) override {
    boxes.push_back({caption, icon, text});
  }
  struct Box {
    std::string caption;
    MessageKind icon;
    std::string text;
  };
  std::string deviceVersion, bootVersion, linkDescription;
  std::vector<bool> controls;
  std::vector<Box> boxes;
};

// The key, the two images and a firmware file, all made here.
struct FirmwareFixture {
  TempDir dir;
  std::vector<uint8_t> key = PatternBytes(32, 1);
  std::vector<uint8_t> applicationImage = PatternBytes(kApplicationModeImageSize, 2);
  std::vector<uint8_t> bootBlock = PatternBytes(kBootBlockSize, 3);
  std::vector<uint8_t> code;  // plain firmware image of the .phx
  PhxFile phx;

  FirmwareFixture() {
    WriteBytes(kFirmwareKeyFileName, key);
    WriteBytes(kApplicationModeImageFileName, applicationImage);
    WriteBytes(kBootBlockFileName, bootBlock);
    MakePhx(PatternBytes(20000, 4), {2, 5, 0});
  }
  void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFile(dir / name, std::string(bytes.begin(), bytes.end()));
  }
  // Builds the .phx for `plain` (a multiple of 16 keeps the image exact).
  void MakePhx(const std::vector<uint8_t>& plain, FirmwareVersion version) {
    code = plain;
    std::array<uint8_t, 16> iv{};
    for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(0x30 + i * 5);
    std::vector<uint8_t> bytes;
    BuildPhxBytes(code, version, key, iv, bytes);
    WriteBytes("update.phx", bytes);
    LoadPhxFile(dir / "update.phx", phx);
  }
  FirmwareUpdateOptions Options() const {
    FirmwareUpdateOptions o;
    o.assetsDirectory = dir.path();
    return o;
  }
};

}  // namespace skyh::test
