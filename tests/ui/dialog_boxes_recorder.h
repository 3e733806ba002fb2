#pragma once
// Answers the dialogs' boxes and choosers in tests and keeps what they showed.
#include <deque>
#include <functional>
#include <vector>

#include "ui/dialogs/dialog_boxes.h"

namespace skyh::ui {

class DialogBoxesRecorder : public DialogBoxes {
 public:
  DialogBoxesRecorder() { SetBoxes(this); }
  ~DialogBoxesRecorder() override { SetBoxes(nullptr); }

  struct Box {
    QMessageBox::Icon icon;
    QString title, text;
  };
  void Show(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) override {
    shown.push_back({icon, title, text});
  }
  bool Ask(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) override {
    asked.push_back({icon, title, text});
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return openFile; }
  QString SaveFileName(QWidget*, const QString&, const QString& proposed, const QString&) override {
    proposedName = proposed;
    return saveFile;
  }
  QString FolderName(QWidget*, const QString& caption, const QString&) override {
    folderCaption = caption;
    return folder;
  }

  QString LastText() const { return shown.empty() ? QString() : shown.back().text; }

  std::vector<Box> shown, asked;
  std::deque<bool> answers;  // Yes when empty
  QString openFile, saveFile, folder, proposedName, folderCaption;
};

}  // namespace skyh::ui
