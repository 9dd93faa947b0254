#pragma once
// The desktop's own dialogs, message boxes and default handlers.

#include "app/Dialogs.h"

namespace kestrel::app {

class DesktopDialogs final : public Dialogs {
 public:
  std::optional<QStringList> ChooseFiles(QWidget* owner, const QString& filter) override;
  std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt) override;
  std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& filter) override;
  void ShowMessage(QWidget* owner, const QString& text, const QString& title) override;
  bool AskYesNo(QWidget* owner, const QString& text, const QString& title) override;
  void ShowModal(QDialog& dialog) override;
  bool OpenWithDefaultHandler(const QUrl& url) override;
};

// Text|patterns pairs ("Word files|*.DOC;*.DOCX|...") as Qt writes name filters, the first one
// the default. File names on Linux differ by case while the patterns were meant for any case, so
// each letter of a pattern matches both cases.
QString QtNameFilter(const QString& filter);

}  // namespace kestrel::app
