#pragma once
// What the window's tests share: the window and its dialogs, recorded dialog
// boxes, and a main window on a temporary configuration.
#include <QtTest>
#include <QtWidgets>
#include <deque>
#include <functional>

#include "box_memory.h"
#include "demo_instrument.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "support/box_link.h"
#include "support/temp_dir.h"
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/dialog_boxes.h"
#include "ui/dialogs/settings_dlg.h"
#include "ui/dialogs/time_dlg.h"
#include "ui/dialogs/update_firmware_dlg.h"
#include "ui/progress_dlg.h"
#include "ui/skyharvester_dlg.h"

namespace skyh::ui {

// Answers the dialogs' boxes and choosers and keeps what they showed.
struct DialogBoxesRecorder : DialogBoxes {
  struct Box {
    QMessageBox::Icon icon;
    QString title, text;
  };
  DialogBoxesRecorder() { SetBoxes(this); }
  ~DialogBoxesRecorder() override { SetBoxes(nullptr); }
  void Show(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) override {
    shown.push_back({icon, title, text});
  }
  bool Ask(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) override {
    asked.push_back({icon, title, text});
    const bool yes = answers.empty() || answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return openFile; }
  QString SaveFileName(QWidget*, const QString&, const QString& proposed, const QString&) override {
    proposedName = proposed;
    return saveFile;
  }
  QString LastText() const { return shown.empty() ? QString() : shown.back().text; }

  std::vector<Box> shown, asked;
  std::deque<bool> answers;  // Yes when empty
  QString openFile, saveFile, proposedName;
};

// The settings items of a settings record, by the demo instrument's layouts.
inline std::unique_ptr<CSettingsItemList> Items(const std::vector<uint8_t>& record) {
  const std::string demo = SKYH_SOURCE_DIR "/demo/";
  return BuildSettingsItems(demo + "ParDesc.dat", demo + "SPD7FF0201.par", SettingsAreaOf(record));
}

constexpr int64_t kTestNow = 1764936000;  // 2025-12-05 12:00:00 UTC, a full hour

// A main window on a temporary configuration (the demo instrument's layouts,
// output into the folder), with recorded questions and chosen files, no
// close delay, and a clock the test sets.
struct WindowFixture {
  explicit WindowFixture(const std::string& automaticKeys = "") {
    paths.iniPath = dir / "SkyHarvester.ini";
    test::WriteFile(paths.iniPath, "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[automatic]\nascii_path=" +
                                       (dir / "out/") + "\n" + automaticKeys);
    w = std::make_unique<CSkyHarvesterDlg>(paths);
    WindowPrompts& p = w->Prompts();
    p.ask = [this](QMessageBox::Icon, const QString&, const QString& text, bool) {
      asked << text;
      return answer;
    };
    p.message = [this](QMessageBox::Icon, const QString& caption, const QString& text) {
      messages << caption + "|" + text;
    };
    p.openFiles = [this] { return files; };
    p.saveFile = [this] { return saveName; };
    w->nowUtc = [this] { return now; };
    w->Progress().closeDelayScale = 0;
    w->Link().pauseMs = 0;
    w->Initialise();
  }

  // A K8 file of the demo instrument (one day, hourly); `edit` changes the
  // records first.
  std::string DataFile(const std::string& name, const std::function<void(sim::BoxMemory&)>& edit = {}) {
    sim::BoxMemory memory;
    sim::GenerateDemoMemory(sim::DemoOptions{kTestNow - 86400, 1, 60}, memory);
    if (edit) edit(memory);
    memory.SaveK8(dir / name);
    return dir / name;
  }
  // Does `act`, then waits until the window is idle again.
  bool Idle(const std::function<void()>& act = {}) {
    if (act) act();
    return QTest::qWaitFor([this] { return !w->Busy(); }, 30000);
  }
  bool Load(const std::string& file) {
    return Idle([&] { w->OpenFiles({file}, true); });
  }
  void DeleteFirstRow() {
    w->List().selectRow(0);
    w->OnDelete();
  }
  // The window's link goes to the simulated box, given `days` of demo records
  // every `minutes` first.
  test::BoxLink& UseBox(int days = 0, int minutes = 60) {
    if (days) sim::GenerateDemoMemory(sim::DemoOptions{kTestNow - days * 86400, days, minutes}, box.box.memory());
    w->Link().UseLink(&box);
    return box;
  }
  // The K8 files written into the output folder.
  int K8Files() {
    std::error_code ec;
    std::filesystem::directory_iterator files(dir / "out", ec);
    return int(std::count_if(begin(files), end(files), [](auto& e) { return e.path().extension() == ".k8"; }));
  }

  test::TempDir dir;
  test::BoxLink box;  // outlives the window
  StartUpPaths paths;
  std::unique_ptr<CSkyHarvesterDlg> w;
  QStringList asked, messages, files;
  QString saveName;
  bool answer = true;
  int64_t now = kTestNow - 10;
};

}  // namespace skyh::ui
