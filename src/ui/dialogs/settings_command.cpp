#include "ui/dialogs/settings_command.h"

#include <optional>

#include "core/folders.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "settings/settings_sender.h"
#include "ui/dialogs/dialog_boxes.h"
#include "ui/dialogs/settings_dlg.h"

namespace skyh::ui {

SettingsCommand::SettingsCommand(RecordStore& store, const CConfiguration& config, LinkProvider link,
                                 IProgressSink& progress, IStatusLine& status, QObject* parent)
    : QObject(parent),
      store_(store),
      config_(config),
      link_(std::move(link)),
      progress_(progress),
      status_(status),
      runEditor_([](CSettingsDlg& dialog) { return dialog.exec(); }) {
  connect(&worker_, &DialogWorker::Finished, this, &SettingsCommand::SendFinished);
}

SettingsCommand::Outcome SettingsCommand::Run(QWidget* parent) {
  if (!store_.Header()) {
    Boxes().Show(parent, QMessageBox::Information, "Info", "No data in memory");
    return kNothing;
  }
  std::vector<uint8_t> record = SettingsRecordOf(store_);
  const std::string dir = WithSlash(config_.configurationDirectory);
  auto items = BuildSettingsItems(dir + "ParDesc.dat", dir + store_.parameterFileName, SettingsAreaOf(record));
  if (!items) {
    Boxes().Show(parent, QMessageBox::Warning, "Error",
                 QString("Can't load \"%1\" file\nor the file is invalid.")
                     .arg(QString::fromStdString(store_.parameterFileName)));
    return kNothing;
  }
  CSettingsDlg editor(*items, parent);
  if (runEditor_(editor) != QDialog::Accepted) return kNothing;
  Outcome outcome = kUnchanged;
  if (editor.Modified()) {
    WriteAllToRecord(*items, SettingsAreaOf(record));
    store_.SetHeader(record.data(), static_cast<uint16_t>(record.size()));
    outcome = kChanged;
  }
  if (editor.SendAfterClosing()) {
    LinkSession* session = link_ ? link_() : nullptr;
    if (session && !worker_.Running()) {
      SendSettingsJob job;
      job.editedRecord = SettingsRecordOf(store_);
      job.configurationDirectory = config_.configurationDirectory;
      job.pauseMs = pauseMs_;
      emit SendStarted();
      // Like every user of the link, the sender holds a lease for the whole
      // exchange, so an automatic retrieval never interleaves with it.
      worker_.Start([this, session, job] { return SendSettings(*session, job, progress_, status_) ? 0 : 1; });
    }
  }
  return outcome;
}

}  // namespace skyh::ui
