// The window's dialog commands: configuration, settings, clock and firmware.
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/settings_command.h"
#include "ui/dialogs/time_dlg.h"
#include "ui/dialogs/update_firmware_dlg.h"
#include "ui/progress_dlg.h"
#include "ui/skyharvester_dlg.h"

namespace skyh::ui {

LinkProvider CSkyHarvesterDlg::LinkNow() {
  return link_.Provider();
}

void CSkyHarvesterDlg::OnConfiguration() {
  ModalScope scope(*this);
  CConfigDlg dialog(config_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  ApplyConfiguration(dialog.Configuration());
}

void CSkyHarvesterDlg::OnSettings() {
  if (sending_) return;
  ModalScope scope(*this);
  // A new command each time: Open and Get records replace the store object
  // it edits. The one before is idle and joined here.
  settings_ = std::make_unique<SettingsCommand>(*store_, config_, LinkNow(), bridge_, bridge_);
  settings_->SetSendPauseMs(link_.pauseMs);
  connect(settings_.get(), &SettingsCommand::SendStarted, this, [this] {
    sending_ = true;
    LockUi(true);
    progress_->ShowFor("Write settings");
  });
  connect(settings_.get(), &SettingsCommand::SendFinished, this, &CSkyHarvesterDlg::SendFinished);
  if (settings_->Run(this) == SettingsCommand::kChanged) {
    SetModified(true);
    Refill();  // the information line shows the settings record
  }
}

void CSkyHarvesterDlg::SendFinished() {
  sending_ = false;
  progress_->WorkerEnded();
  SetPane(0, QString::fromStdString(link_.Description()));
  MaybeUnlock();
}

void CSkyHarvesterDlg::OnSetTime() {
  // Edits neither the store nor the configuration, so automatic runs go on
  // while it is open; each exchange holds the communication lock.
  CTimeDlg dialog(LinkNow(), this);
  dialog.exec();
}

void CSkyHarvesterDlg::OnUpdateFirmware() {
  // Busy while open: the backup writes a snapshot and the box is not
  // reachable while its memory is rewritten.
  ModalScope scope(*this);
  CUpdateFirmwareDlg dialog(LinkNow(), config_, paths_.iniPath, this);
  dialog.exec();
  SetPane(0, QString::fromStdString(link_.Description()));
}

}  // namespace skyh::ui
