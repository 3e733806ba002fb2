#pragma once
// Answers the dialogs' boxes and choosers in tests and keeps what they showed;
// brings the widgets the dialog tests look at.
#include <QtTest>
#include <QtWidgets>
#include <deque>
#include <vector>

#include "ui/dialogs/dialog_boxes.h"

namespace skyh::ui {

struct DialogBoxesRecorder : DialogBoxes {
  struct Box {
    QMessageBox::Icon icon;
    QString title, text;
  };
  DialogBoxesRecorder() { SetBoxes(this); }
  ~DialogBoxesRecorder() override { SetBoxes(nullptr); }
  void Show(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) override {
    shown.push_back({icon, title, text});
  }
  bool Ask(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) override {
    asked.push_back({icon, title, text});
    const bool yes = answers.empty() || answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return openFile; }
  QString SaveFileName(QWidget*, const QString&, const QString& proposed, const QString&) override {
    proposedName = proposed;
    return saveFile;
  }
  QString LastText() const { return shown.empty() ? QString() : shown.back().text; }

  std::vector<Box> shown, asked;
  std::deque<bool> answers;  // Yes when empty
  QString openFile, saveFile, proposedName;
};

}  // namespace skyh::ui
