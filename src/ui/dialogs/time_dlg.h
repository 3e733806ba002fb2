#pragma once
// The time and date dialog: reads and sets the control box's clock (UTC).
#include <QDialog>

#include "ui/dialogs/link_access.h"

class QCheckBox;
class QDateEdit;
class QTimeEdit;
class QTimer;

namespace skyh::ui {

class CTimeDlg : public QDialog {
  Q_OBJECT

 public:
  // `link` is asked at each button press, so the link active then is used;
  // a lease on it is held for the exchange.
  explicit CTimeDlg(LinkProvider link, QWidget* parent = nullptr);

  // The pickers' date and time as seconds since 1970 (UTC fields).
  int64_t PickedTime() const;

 public slots:
  void OnUseSystemTime();
  void OnGetTime();
  void OnSetTime();

 private:
  void ShowTime(int64_t time);
  // A lease on the session active now; shows why not and gives a failed one.
  LinkLease OpenLink();

  LinkProvider provider_;
  QCheckBox* useSystem_ = nullptr;
  QDateEdit* date_ = nullptr;
  QTimeEdit* time_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace skyh::ui
