#pragma once
// A main window on a temporary configuration (the demo instrument's layouts,
// output into the folder), with recorded questions and chosen files, no
// close delay, and a clock the test sets.
#include <QMenuBar>
#include <QTest>
#include <filesystem>
#include <functional>
#include <memory>

#include "box_memory.h"
#include "demo_instrument.h"
#include "support/temp_dir.h"
#include "ui/progress_dlg.h"
#include "ui/skyharvester_dlg.h"

namespace skyh::ui {

constexpr int64_t kTestNow = 1764936000;  // 2025-12-05 12:00:00 UTC, a full hour

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
    p.message = [this](QMessageBox::Icon, const QString& caption, const QString& text) { messages << caption + "|" + text; };
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
  bool WaitIdle() { return QTest::qWaitFor([this] { return !w->Busy(); }, 30000); }
  int FilesIn(const std::string& folder, const std::string& ext) {
    int n = 0;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(folder, ec)) n += e.path().extension() == ext;
    return n;
  }

  test::TempDir dir;
  StartUpPaths paths;
  std::unique_ptr<CSkyHarvesterDlg> w;
  QStringList asked, messages, files;
  QString saveName;
  bool answer = true;
  int64_t now = kTestNow - 10;
};

}  // namespace skyh::ui
