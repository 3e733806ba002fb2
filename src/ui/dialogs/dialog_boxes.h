#pragma once
// The message boxes, questions and file choosers of the dialogs, behind one
// process-wide object so that tests can answer them without a person.
#include <QMessageBox>
#include <QString>

class QWidget;

namespace skyh::ui {

class DialogBoxes {
 public:
  virtual ~DialogBoxes() = default;
  // A box with an OK button.
  virtual void Show(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text);
  // Yes/No; true for Yes.
  virtual bool Ask(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text);
  // "" when the chooser was cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& filter);
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
                               const QString& filter);
  virtual QString FolderName(QWidget* parent, const QString& caption, const QString& start);
};

DialogBoxes& Boxes();
// Installs another object (not owned); null restores the real boxes.
void SetBoxes(DialogBoxes* boxes);

}  // namespace skyh::ui
