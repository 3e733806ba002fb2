#pragma once
// The "Update firmware" dialog: the .phx file and its fields, the device's
// versions, the status line and two bars, Update and Cancel. The update
// runs on a worker thread; its questions and boxes come to this thread and
// the worker waits for the answer.
#include <QDialog>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "core/configuration.h"
#include "core/progress.h"
#include "protocol/firmware_file_choice.h"
#include "protocol/firmware_update.h"
#include "ui/dialogs/dialog_worker.h"
#include "ui/dialogs/link_access.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace skyh::ui {

class CUpdateFirmwareDlg : public QDialog, private IFirmwareView, private IProgressSink, private IPrompt,
                           private IStatusLine {
  Q_OBJECT

 public:
  // `config` gives the files folder for the backup and the configuration
  // directory with the key and images; `iniPath` keeps the chosen file.
  CUpdateFirmwareDlg(LinkProvider link, const CConfiguration& config, const std::string& iniPath,
                     QWidget* parent = nullptr);
  // Stops a running update and waits for its worker.
  ~CUpdateFirmwareDlg() override;

  void SetUpdateOptions(const FirmwareUpdateOptions& options) { options_ = options; }
  bool Running() const { return worker_.Running(); }
  DialogWorker& Worker() { return worker_; }

 public slots:
  void OnBrowse();
  void OnUpdate();
  // Stops a running update after asking, or closes the dialog.
  void OnCancel();
  void reject() override;

 private:
  // IFirmwareView, IProgressSink, IPrompt, IStatusLine: called on the worker.
  void ShowDeviceVersion(const std::string& text) override;
  void ShowBootVersion(const std::string& text) override;
  void EnableControls(bool enabled) override;
  void ShowLinkDescription(const std::string& text) override;
  void ShowBox(const std::string& caption, MessageKind icon, const std::string& text) override;
  void SetTitle(const std::string&) override {}
  void SetText(const std::string& text) override;
  bool Aborted() override { return false; }
  void CloseAfter(int) override {}
  void SetBars(int currentPercent, int totalPercent) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void SetStatus(const std::string& text) override { SetText(text); }

  // Runs `what` on the window thread; from the worker it waits for it to be
  // done, or gives up when the dialog goes.
  void OnWindowThread(std::function<void()> what, bool wait);
  void ShowFields();

  LinkProvider provider_;
  CConfiguration config_;
  std::string iniPath_;
  FirmwareUpdateOptions options_;
  PhxFile phx_;
  FirmwareFileFields fields_;
  std::unique_ptr<CFirmwareUpdate> update_;

  QLineEdit* fileName_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLabel* fileVersion_ = nullptr;
  QLabel* fileSize_ = nullptr;
  QLabel* deviceVersion_ = nullptr;
  QLabel* bootVersion_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* current_ = nullptr;
  QProgressBar* total_ = nullptr;
  QPushButton* updateButton_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QStatusBar* linkBar_ = nullptr;

  std::mutex mutex_;
  std::condition_variable answered_;
  bool closing_ = false;
  DialogWorker worker_;
};

}  // namespace skyh::ui
