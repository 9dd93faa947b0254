#include "tests/app/ScriptedDialogs.h"

#include <QDialog>

#include <gtest/gtest.h>

#include "app/dialogs/ProgressDialog.h"

namespace kestrel::app::test {

std::optional<QStringList> ScriptedDialogs::ChooseFiles(QWidget*, const QString& filter) {
  filters.push_back(filter);
  if (fileAnswers.empty()) {
    ADD_FAILURE() << "the open dialog was asked for without an answer";
    return std::nullopt;
  }
  std::optional<QStringList> answer = fileAnswers.front();
  fileAnswers.pop_front();
  return answer;
}

std::optional<QString> ScriptedDialogs::ChooseFolder(QWidget*, const QString& prompt) {
  prompts.push_back(prompt);
  if (folderAnswers.empty()) {
    ADD_FAILURE() << "the folder dialog was asked for without an answer";
    return std::nullopt;
  }
  std::optional<QString> answer = folderAnswers.front();
  folderAnswers.pop_front();
  return answer;
}

std::optional<QString> ScriptedDialogs::ChooseSaveFile(QWidget*, const QString& filter) {
  saveFilters.push_back(filter);
  if (saveAnswers.empty()) {
    ADD_FAILURE() << "the save dialog was asked for without an answer";
    return std::nullopt;
  }
  std::optional<QString> answer = saveAnswers.front();
  saveAnswers.pop_front();
  return answer;
}

void ScriptedDialogs::ShowMessage(QWidget*, const QString& text, const QString& title) {
  messages.push_back({text, title});
}

bool ScriptedDialogs::AskYesNo(QWidget*, const QString& text, const QString& title) {
  questions.push_back({text, title});
  if (yesNoAnswers.empty()) {
    ADD_FAILURE() << "a question was asked without an answer: " << text.toStdString();
    return false;
  }
  const bool answer = yesNoAnswers.front();
  yesNoAnswers.pop_front();
  return answer;
}

void ScriptedDialogs::ShowModal(QDialog& dialog) {
  modalTitles.push_back(dialog.windowTitle());
  if (dynamic_cast<ProgressDialog*>(&dialog) != nullptr) {
    dialog.exec();
  } else if (!modalAnswers.empty()) {
    const std::function<void(QDialog&)> answer = std::move(modalAnswers.front());
    modalAnswers.pop_front();
    answer(dialog);
  }
}

bool ScriptedDialogs::OpenWithDefaultHandler(const QUrl& url) {
  opened.push_back(url);
  return handlerOpens;
}

}  // namespace kestrel::app::test
