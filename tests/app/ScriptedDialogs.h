#pragma once
// Dialogs that never open: the open and folder dialogs answer from a script, and every message,
// modal window and opened address is recorded. A dialog asked for without a scripted answer fails
// the test (and answers "cancelled").

#include <deque>
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
  void ShowMessage(QWidget* owner, const QString& text, const QString& title) override;
  void ShowModal(QDialog& dialog) override;
  void OpenWithDefaultHandler(const QUrl& url) override;

  std::deque<std::optional<QStringList>> fileAnswers;
  std::deque<std::optional<QString>> folderAnswers;

  std::vector<QString> filters;
  std::vector<QString> prompts;
  std::vector<Message> messages;
  std::vector<QString> modalTitles;
  std::vector<QUrl> opened;
};

}  // namespace kestrel::app::test
