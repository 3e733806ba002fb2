// The settings editor, its edit dialog, .set files and sending after
// closing to the in-process simulated box.
#include "demo_instrument.h"
#include "dialog_boxes_recorder.h"
#include "records/settings_area.h"
#include "runner/ui_test.h"
#include "settings/build_settings_items.h"
#include "settings/settings_sender.h"
#include "support/box_link.h"
#include "support/temp_dir.h"
#include "ui/bridge/progress_bridge.h"
#include "ui/dialogs/edit_setting_dlg.h"
#include "ui/dialogs/settings_command.h"
#include "ui/dialogs/settings_dlg.h"

namespace skyh::ui {
namespace {

const std::string kDemo = SKYH_SOURCE_DIR "/demo/";

std::unique_ptr<CSettingsItemList> Items(const std::vector<uint8_t>& record) {
  return BuildSettingsItems(kDemo + "ParDesc.dat", kDemo + "SPD7FF0201.par", SettingsAreaOf(record));
}

std::string Value(const std::vector<uint8_t>& record, const std::string& key) {
  return FindItemByKey(*Items(record), key)->GetValueText();
}

// The editor's run: Load (when `load`), the send box ticked, then OK or Cancel.
SettingsCommand::EditorRunner Runner(bool load, bool ok) {
  return [=](CSettingsDlg& editor) {
    if (load) editor.OnLoad();
    editor.findChild<QCheckBox*>("sendAfterClosing")->setChecked(true);
    return int(ok ? QDialog::Accepted : QDialog::Rejected);
  };
}

}  // namespace

class SettingsDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void ToggleEditSaveAndLoad() {
    DialogBoxesRecorder boxes;
    test::TempDir dir;
    const std::vector<uint8_t> record = sim::MakeDemoSettingsRecord(12345, 0);
    auto items = Items(record);
    CSettingsDlg editor(*items);
    const QModelIndex heat = editor.List()->model()->index(9, 1);  // HEAT, "no"
    editor.OnDoubleClick(heat);
    QCOMPARE(heat.data().toString(), QString("yes"));
    QCOMPARE(editor.windowTitle(), QString("Settings modified *"));

    CSettingsItem& mint = *FindItemByKey(*items, "MINT");
    CEditSettingDlg edit(mint);
    auto* value = edit.findChild<QLineEdit*>("value");
    for (auto [text, message] : {std::pair{"0", "Value too low"}, {"2000", "Value too high"}, {"x", "Invalid value"}}) {
      value->setText(text);
      edit.accept();
      QCOMPARE(boxes.LastText(), QString(message));
      QCOMPARE(edit.result(), int(QDialog::Rejected));
    }
    value->setText("30");
    edit.accept();
    QCOMPARE(edit.result(), int(QDialog::Accepted));

    boxes.saveFile = QString::fromStdString(dir / "saved.set");
    editor.OnSave();
    QCOMPARE(boxes.proposedName, QString("Settings_12345.set"));

    // Loading what is there already still counts as a change.
    auto fresh = Items(record);
    CSettingsDlg loader(*fresh);
    test::WriteFile(dir / "same.set", "[Settings]\nMeasureInterval=15\n");
    boxes.openFile = QString::fromStdString(dir / "same.set");
    loader.OnLoad();
    QVERIFY(loader.Modified());
    boxes.openFile = boxes.saveFile;
    loader.OnLoad();
    QCOMPARE(FindItemByKey(*fresh, "MINT")->GetValueText() + FindItemByKey(*fresh, "HEAT")->GetValueText(),
             std::string("30yes"));
  }

  void CancelSendsNothingAndSendAfterClosingReachesTheBox() {
    DialogBoxesRecorder boxes;
    test::TempDir dir;
    test::BoxLink link;
    LinkSession session(link);
    const std::vector<uint8_t> original = sim::MakeDemoSettingsRecord(1234, 0);
    link.box.memory().SetSettings(original);
    RecordStore store;
    store.SetHeader(original.data(), static_cast<uint16_t>(original.size()));
    CConfiguration config;
    config.configurationDirectory = kDemo;
    ProgressBridge progress;
    QString status;  // the sender's thread emits; this thread keeps the text
    connect(&progress, &ProgressBridge::statusChanged, &progress, [&](const QString& text) { status = text; });
    SettingsCommand command(store, config, [&] { return &session; }, progress, progress);
    command.SetSendPauseMs(0);
    QSignalSpy finished(&command, &SettingsCommand::SendFinished);
    test::WriteFile(dir / "other.set", "[Settings]\nGain=9\nMeasureInterval=60\n");
    boxes.openFile = QString::fromStdString(dir / "other.set");

    command.SetEditorRunner(Runner(true, false));
    QCOMPARE(command.Run(nullptr), SettingsCommand::kNothing);
    QCOMPARE(SettingsRecordOf(store), original);
    QVERIFY(link.written.empty());

    // OK without a change: the box's settings stay byte for byte.
    command.SetEditorRunner(Runner(false, true));
    QCOMPARE(command.Run(nullptr), SettingsCommand::kUnchanged);
    QVERIFY(finished.wait(20000));
    QVERIFY(!link.Frames(0x48).empty());
    QCOMPARE(link.box.memory().settings(), original);

    command.SetEditorRunner(Runner(true, true));
    QCOMPARE(command.Run(nullptr), SettingsCommand::kChanged);
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.at(1).at(0).toInt(), 0);
    QCOMPARE(Value(SettingsRecordOf(store), "MINT") + Value(SettingsRecordOf(store), "GAIN"), std::string("609"));
    auto boxItems = Items(link.box.memory().settings());
    for (const auto& item : *boxItems)
      QCOMPARE(item->GetValueText(), Value(SettingsRecordOf(store), item->key()));
    QCOMPARE(status, QString("Write settings OK."));
  }
};

SKYH_UI_TEST(SettingsDlgTest);

}  // namespace skyh::ui

#include "settings_dlg_test.moc"
