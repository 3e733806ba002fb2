// The window's dialog commands: configuration, settings, clock and firmware.
#include <QMessageBox>

#include "ui/skyharvester_dlg.h"

namespace skyh::ui {
namespace {

void Placeholder(QWidget* parent, const char* name) {
  QMessageBox::information(parent, "Info", QString("%1 is not available in this build yet.").arg(name));
}

}  // namespace

void CSkyHarvesterDlg::OnConfiguration() {
  ModalScope scope(*this);
  Placeholder(this, "The configuration dialog");
}

void CSkyHarvesterDlg::OnSettings() {
  if (!Store().Header()) {
    Prompts().message(QMessageBox::Information, "Info", "No data in memory");
    return;
  }
  ModalScope scope(*this);
  Placeholder(this, "The settings editor");
}

void CSkyHarvesterDlg::OnSetTime() {
  ModalScope scope(*this);
  Placeholder(this, "The time dialog");
}

void CSkyHarvesterDlg::OnUpdateFirmware() {
  ModalScope scope(*this);
  Placeholder(this, "The firmware update");
}

}  // namespace skyh::ui
