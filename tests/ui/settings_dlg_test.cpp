// The settings editor, its edit dialog, .set files and sending after
// closing to the in-process simulated box.
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "demo_instrument.h"
#include "dialog_boxes_recorder.h"
#include "records/settings_area.h"
#include "runner/ui_test.h"
#include "settings/build_settings_items.h"
#include "support/box_link.h"
#include "support/temp_dir.h"
#include "ui/dialogs/edit_setting_dlg.h"
#include "ui/dialogs/interim_progress_dlg.h"
#include "ui/dialogs/settings_command.h"
#include "ui/dialogs/settings_dlg.h"

namespace skyh::ui {
namespace {

const std::string kDemo = SKYH_SOURCE_DIR "/demo/";

std::unique_ptr<CSettingsItemList> Items(const std::vector<uint8_t>& record) {
  return BuildSettingsItems(kDemo + "ParDesc.dat", kDemo + "SPD7FF0201.par", SettingsAreaOf(record));
}

std::string Value(const std::vector<uint8_t>& record, const char* key) {
  auto items = Items(record);
  const CSettingsItem* item = items ? FindItemByKey(*items, key) : nullptr;
  return item ? item->GetValueText() : "(none)";
}

int RowOf(const CSettingsItemList& items, const char* key) {
  for (size_t i = 0; i < items.Count(); ++i)
    if (items.At(i)->key() == key) return static_cast<int>(i);
  return -1;
}

std::vector<uint8_t> HeaderOf(const RecordStore& store) {
  return std::vector<uint8_t>(store.Header()->raw(), store.Header()->raw() + store.Header()->length());
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
    QVERIFY(items);
    CSettingsDlg editor(*items);
    QCOMPARE(editor.List()->model()->columnCount(), 3);
    QCOMPARE(editor.List()->model()->headerData(2, Qt::Horizontal).toString(), QString("Description"));
    const QModelIndex heat = editor.List()->model()->index(RowOf(*items, "HEAT"), 0);
    const QString before = editor.List()->model()->index(heat.row(), 1).data().toString();
    editor.OnDoubleClick(heat);
    QCOMPARE(editor.List()->model()->index(heat.row(), 1).data().toString(), QString(before == "yes" ? "no" : "yes"));
    QCOMPARE(editor.windowTitle(), QString("Settings modified *"));
    QVERIFY(boxes.shown.empty());

    CSettingsItem& mint = *FindItemByKey(*items, "MINT");
    CEditSettingDlg edit(mint);
    auto* value = edit.findChild<QLineEdit*>("value");
    const std::pair<const char*, const char*> refusals[] = {
        {"0", "Value too low"}, {"2000", "Value too high"}, {"abc", "Invalid value"}};
    for (auto [text, message] : refusals) {
      value->setText(text);
      edit.accept();
      QCOMPARE(boxes.LastText(), QString(message));
      QCOMPARE(edit.result(), int(QDialog::Rejected));
    }
    value->setText("30");
    edit.accept();
    QCOMPARE(edit.result(), int(QDialog::Accepted));
    QCOMPARE(mint.GetValueText(), std::string("30"));

    boxes.saveFile = QString::fromStdString(dir / "saved.set");
    editor.OnSave();
    QCOMPARE(boxes.proposedName, QString("Settings_12345.set"));

    // Loading what the box already holds still counts as a change.
    auto fresh = Items(record);
    CSettingsDlg loader(*fresh);
    boxes.openFile = QString::fromStdString(dir / "partial.set");
    test::WriteFile(dir / "partial.set", "[Settings]\nMeasureInterval=" + FindItemByKey(*fresh, "MINT")->GetValueText() +
                                             "\n");
    loader.OnLoad();
    QVERIFY(loader.Modified());
    QCOMPARE(loader.windowTitle(), QString("Settings modified *"));
    boxes.openFile = boxes.saveFile;
    loader.OnLoad();
    QCOMPARE(FindItemByKey(*fresh, "MINT")->GetValueText(), std::string("30"));
    QCOMPARE(FindItemByKey(*fresh, "HEAT")->GetValueText(), FindItemByKey(*items, "HEAT")->GetValueText());
  }

  void CancelSendsNothingAndSendAfterClosingReachesTheBox() {
    DialogBoxesRecorder boxes;
    test::TempDir dir;
    test::BoxLink link;
    CommunicationLock lock;
    const std::vector<uint8_t> original = sim::MakeDemoSettingsRecord(1234, 0);
    link.box.memory().SetSettings(original);
    RecordStore store;
    store.SetHeader(original.data(), static_cast<uint16_t>(original.size()));
    CConfiguration config;
    config.configurationDirectory = kDemo;
    InterimProgressDlg progress;
    SettingsCommand command(store, config, [&] { return LinkAccess{&link, &lock}; }, progress, progress);
    command.SetSendPauseMs(0);
    QSignalSpy finished(&command, &SettingsCommand::SendFinished);

    // Cancel after loading other values and asking for sending.
    test::WriteFile(dir / "other.set", "[Settings]\nGain=9\nMeasureInterval=60\n");
    boxes.openFile = QString::fromStdString(dir / "other.set");
    command.SetEditorRunner([](CSettingsDlg& editor) {
      editor.OnLoad();
      editor.findChild<QCheckBox*>("sendAfterClosing")->setChecked(true);
      return int(QDialog::Rejected);
    });
    QCOMPARE(command.Run(nullptr), SettingsCommand::kNothing);
    QVERIFY(!command.Sending());
    QCOMPARE(HeaderOf(store), original);
    QVERIFY(link.written.empty());

    // OK without a change: the box's settings stay byte for byte.
    command.SetEditorRunner([](CSettingsDlg& editor) {
      editor.findChild<QCheckBox*>("sendAfterClosing")->setChecked(true);
      return int(QDialog::Accepted);
    });
    QCOMPARE(command.Run(nullptr), SettingsCommand::kUnchanged);
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.takeFirst().at(0).toInt(), 0);
    QVERIFY(!link.Frames(0x48).empty());
    QCOMPARE(link.box.memory().settings(), original);

    // An edited value goes out, and the store keeps it.
    command.SetEditorRunner([](CSettingsDlg& editor) {
      editor.OnLoad();
      editor.findChild<QCheckBox*>("sendAfterClosing")->setChecked(true);
      return int(QDialog::Accepted);
    });
    QCOMPARE(command.Run(nullptr), SettingsCommand::kChanged);
    QVERIFY(finished.wait(20000));
    QCOMPARE(Value(HeaderOf(store), "MINT"), std::string("60"));
    QCOMPARE(Value(HeaderOf(store), "GAIN"), std::string("9"));
    auto boxItems = Items(link.box.memory().settings());
    for (const auto& item : *boxItems)
      QCOMPARE(item->GetValueText(), Value(HeaderOf(store), item->key().c_str()));
    QVERIFY(!link.IsConnected());
    QCOMPARE(progress.Status(), QString("Write settings OK."));
    QCOMPARE(progress.Text(), QString("Stopping communication..."));
  }
};

SKYH_UI_TEST(SettingsDlgTest);

}  // namespace skyh::ui

#include "settings_dlg_test.moc"
