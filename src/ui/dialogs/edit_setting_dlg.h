#pragma once
// The edit dialog of one setting: its name, its value text and its
// description; OK gives the text to the item and refuses what it refuses.
#include <QDialog>
#include <optional>

#include "settings/settings_item.h"

class QLineEdit;

namespace skyh::ui {

class CEditSettingDlg : public QDialog {
  Q_OBJECT

 public:
  CEditSettingDlg(CSettingsItem& item, QWidget* parent = nullptr);

  // The answer of the last SetValueFromText, none before any.
  std::optional<SetValueResult> LastResult() const { return lastResult_; }

 public slots:
  void accept() override;

 private:
  CSettingsItem& item_;
  QLineEdit* value_ = nullptr;
  std::optional<SetValueResult> lastResult_;
};

}  // namespace skyh::ui
