#include "ui/dialogs/update_firmware_dlg.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QVBoxLayout>

#include "settings/firmware_backup.h"
#include "ui/dialogs/dialog_boxes.h"

namespace skyh::ui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QMessageBox::Icon IconOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::Info: return QMessageBox::Information;
    case MessageKind::Warning: return QMessageBox::Warning;
    default: return QMessageBox::Critical;
  }
}

QLabel* Field(QWidget* parent, const char* name) {
  auto* label = new QLabel("--", parent);
  label->setObjectName(name);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance("000.000.000 Kbytes"));
  return label;
}

}  // namespace

CUpdateFirmwareDlg::CUpdateFirmwareDlg(LinkProvider link, const CConfiguration& config, const std::string& iniPath,
                                       QWidget* parent)
    : QDialog(parent), provider_(std::move(link)), config_(config), iniPath_(iniPath) {
  setWindowTitle("Update firmware");
  options_.assetsDirectory = config.configurationDirectory;

  auto* fileFrame = new QGroupBox("File", this);
  fileName_ = new QLineEdit(fileFrame);
  fileName_->setObjectName("fileName");
  fileName_->setReadOnly(true);
  fileName_->setMinimumWidth(fileName_->fontMetrics().horizontalAdvance("/home/station/firmware/SP_2.5.0.phx"));
  browse_ = new QPushButton("...", fileFrame);
  browse_->setObjectName("browse");
  browse_->setFixedWidth(browse_->fontMetrics().horizontalAdvance("....") + 24);
  fileVersion_ = Field(fileFrame, "fileVersion");
  fileSize_ = Field(fileFrame, "fileSize");
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(fileName_, 1);
  fileRow->addWidget(browse_);
  auto* fileForm = new QFormLayout(fileFrame);
  fileForm->addRow(fileRow);
  fileForm->addRow("File version: ", fileVersion_);
  fileForm->addRow("File size: ", fileSize_);

  auto* deviceFrame = new QGroupBox("Photometer", this);
  deviceVersion_ = Field(deviceFrame, "deviceVersion");
  bootVersion_ = Field(deviceFrame, "bootVersion");
  auto* deviceForm = new QFormLayout(deviceFrame);
  deviceForm->addRow("Firmware version: ", deviceVersion_);
  deviceForm->addRow("Bootloader version: ", bootVersion_);

  status_ = new QLabel("--", this);
  status_->setObjectName("status");
  status_->setFrameShape(QFrame::StyledPanel);
  current_ = new QProgressBar(this);
  current_->setObjectName("currentState");
  total_ = new QProgressBar(this);
  total_->setObjectName("totalState");
  for (QProgressBar* bar : {current_, total_}) {
    bar->setRange(0, 100);
    bar->setValue(0);
  }
  auto* bars = new QFormLayout;
  bars->addRow("Current state:", current_);
  bars->addRow("Total state:", total_);

  updateButton_ = new QPushButton("Update...", this);
  updateButton_->setObjectName("update");
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(updateButton_);
  buttons->addWidget(cancel_);

  linkBar_ = new QStatusBar(this);
  linkBar_->setObjectName("linkDescription");
  linkBar_->setSizeGripEnabled(false);

  auto* frames = new QHBoxLayout;
  frames->addWidget(fileFrame, 3);
  frames->addWidget(deviceFrame, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(frames);
  layout->addWidget(status_);
  layout->addLayout(bars);
  layout->addLayout(buttons);
  layout->addWidget(linkBar_);
  layout->setContentsMargins(9, 9, 9, 0);

  connect(browse_, &QPushButton::clicked, this, &CUpdateFirmwareDlg::OnBrowse);
  connect(updateButton_, &QPushButton::clicked, this, &CUpdateFirmwareDlg::OnUpdate);
  connect(cancel_, &QPushButton::clicked, this, &CUpdateFirmwareDlg::OnCancel);

  RestoreFirmwareFile(iniPath_, phx_, fields_);
  ShowFields();
  if (LinkSession* session = provider_ ? provider_() : nullptr) linkBar_->showMessage(Q(session->Active().GetDescription()));
  resize(560, sizeHint().height());
}

CUpdateFirmwareDlg::~CUpdateFirmwareDlg() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  answered_.notify_all();
  if (update_) {
    update_->RequestStop();
    update_->Resume();
  }
  worker_.Join();
}

void CUpdateFirmwareDlg::ShowFields() {
  fileName_->setText(Q(fields_.path));
  fileVersion_->setText(Q(fields_.version));
  fileSize_->setText(Q(fields_.size));
}

void CUpdateFirmwareDlg::OnBrowse() {
  const QString path = Boxes().OpenFileName(this, "Open", "PHX file (*.phx)");
  if (path.isEmpty()) return;
  fields_ = FirmwareFileFields{};
  ShowFields();
  ChooseFirmwareFile(iniPath_, path.toStdString(), phx_, fields_, this);
  ShowFields();
}

void CUpdateFirmwareDlg::OnUpdate() {
  if (worker_.Running()) return;
  if (fields_.path.empty() || phx_.fileCode.empty()) {
    Boxes().Show(this, QMessageBox::Critical, "Error", "Choose a file first");
    return;
  }
  LinkSession* session = provider_ ? provider_() : nullptr;
  if (!session) return;
  // The same backup as the command-line tool offers: an update may leave
  // the memory in an unknown state.
  const bool backup = Boxes().Ask(this, QMessageBox::Question, "Info",
                                  "Retrieve the records and save the settings before the update?");
  FirmwareUpdateOptions options = options_;
  IProgressSink& progress = *this;
  IPrompt& prompt = *this;
  IFirmwareView& view = *this;
  update_ = std::make_unique<CFirmwareUpdate>(*session, progress, prompt, view, options);
  update_->SetFile(phx_);
  browse_->setEnabled(false);
  updateButton_->setEnabled(false);
  connect(&worker_, &DialogWorker::Finished, this, [this] {
    browse_->setEnabled(true);
    updateButton_->setEnabled(true);
  }, Qt::SingleShotConnection);
  worker_.Start([this, backup, session] {
    SetText("Please wait...");
    if (backup) {
      FirmwareBackupResult saved = RunFirmwareBackup(*session, config_, iniPath_, *this, *this);
      if (!saved.ok) {
        SetText(saved.error);
        ShowBox("Error", MessageKind::Error, saved.error);
        return ResultCode(UpdateResult::kError);
      }
    }
    return ResultCode(update_->RunUpdate());
  });
}

void CUpdateFirmwareDlg::OnCancel() {
  if (!worker_.Running() || !update_) {
    QDialog::reject();
    return;
  }
  update_->Pause();
  const bool stop =
      Boxes().Ask(this, QMessageBox::Information, "Info", "Do you want to stop the firmware update?");
  update_->Resume();
  if (stop) update_->RequestStop();
}

void CUpdateFirmwareDlg::reject() { OnCancel(); }

void CUpdateFirmwareDlg::OnWindowThread(std::function<void()> what, bool wait) {
  if (QThread::currentThread() == thread()) {
    what();
    return;
  }
  auto done = std::make_shared<bool>(false);
  QMetaObject::invokeMethod(
      this,
      [this, what = std::move(what), done] {
        what();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          *done = true;
        }
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  if (!wait) return;
  std::unique_lock<std::mutex> lock(mutex_);
  answered_.wait(lock, [&] { return *done || closing_; });
}

void CUpdateFirmwareDlg::ShowDeviceVersion(const std::string& text) {
  OnWindowThread([this, t = Q(text)] { deviceVersion_->setText(t); }, false);
}

void CUpdateFirmwareDlg::ShowBootVersion(const std::string& text) {
  OnWindowThread([this, t = Q(text)] { bootVersion_->setText(t); }, false);
}

void CUpdateFirmwareDlg::EnableControls(bool enabled) {
  OnWindowThread(
      [this, enabled] {
        browse_->setEnabled(enabled);
        updateButton_->setEnabled(enabled);
      },
      false);
}

void CUpdateFirmwareDlg::ShowLinkDescription(const std::string& text) {
  OnWindowThread([this, t = Q(text)] { linkBar_->showMessage(t); }, false);
}

void CUpdateFirmwareDlg::ShowBox(const std::string& caption, MessageKind icon, const std::string& text) {
  // The worker waits until the box is closed (the battery warning asks for it).
  OnWindowThread([this, c = Q(caption), icon, t = Q(text)] { Boxes().Show(this, IconOf(icon), c, t); }, true);
}

void CUpdateFirmwareDlg::SetText(const std::string& text) {
  QString t = Q(text);
  if (t.endsWith('\n')) t.chop(1);
  OnWindowThread([this, t] { status_->setText(t); }, false);
}

void CUpdateFirmwareDlg::SetBars(int currentPercent, int totalPercent) {
  OnWindowThread(
      [this, currentPercent, totalPercent] {
        if (currentPercent >= 0) current_->setValue(currentPercent);
        if (totalPercent >= 0) total_->setValue(totalPercent);
      },
      false);
}

bool CUpdateFirmwareDlg::AskYesNo(const std::string& caption, const std::string& text) {
  auto answer = std::make_shared<bool>(false);
  const QMessageBox::Icon icon = text.find("Do you want to continue?") != std::string::npos ? QMessageBox::Warning
                                                                                           : QMessageBox::Question;
  OnWindowThread([this, answer, icon, c = Q(caption), t = Q(text)] { *answer = Boxes().Ask(this, icon, c, t); },
                 true);
  std::lock_guard<std::mutex> lock(mutex_);
  return !closing_ && *answer;
}

}  // namespace skyh::ui
