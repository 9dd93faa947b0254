#pragma once
// Dialogs that never open: the open, folder and save dialogs and the questions answer from a
// script, and every message, modal window and opened address is recorded. A dialog asked for
// without a scripted answer fails the test (and answers "cancelled", or No).
//
// The progress dialogs are the exception: they close themselves when their work is done, so they
// are really shown modally and their work runs.

#include <deque>
#include <functional>
#include <vector>

#include "app/Dialogs.h"

namespace kestrel::app::test {

class ScriptedDialogs final : public Dialogs {
 public:
  struct Message {
    QString text;
    QString title;
  };

  std::optional<QStringList> ChooseFiles(QWidget* owner, const QString& filter) override;
  std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt) override;
  std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& filter) override;
  void ShowMessage(QWidget* owner, const QString& text, const QString& title) override;
  bool AskYesNo(QWidget* owner, const QString& text, const QString& title) override;
  void ShowModal(QDialog& dialog) override;
  bool OpenWithDefaultHandler(const QUrl& url) override;

  std::deque<std::optional<QStringList>> fileAnswers;
  std::deque<std::optional<QString>> folderAnswers;
  std::deque<std::optional<QString>> saveAnswers;
  std::deque<bool> yesNoAnswers;
  // Each fills in the next of the program's own dialogs shown modally and accepts or rejects it.
  std::deque<std::function<void(QDialog&)>> modalAnswers;
  bool handlerOpens = true;  // what OpenWithDefaultHandler answers

  std::vector<QString> filters;
  std::vector<QString> prompts;
  std::vector<QString> saveFilters;
  std::vector<Message> messages;
  std::vector<Message> questions;
  std::vector<QString> modalTitles;
  std::vector<QUrl> opened;
};

}  // namespace kestrel::app::test
