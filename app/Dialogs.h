#pragma once
// Everything that waits for the user or leaves the program: the open and folder dialogs, message
// boxes, modal windows and opening a file or address with its default handler. The program uses
// the desktop's (DesktopDialogs); tests answer from a script and record what would have been shown.

#include <optional>

#include <QString>
#include <QStringList>
#include <QUrl>

class QDialog;
class QWidget;

namespace kestrel::app {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // The open dialog for several files. `filter` is written "text|pattern;pattern". nullopt when
  // the user cancels.
  virtual std::optional<QStringList> ChooseFiles(QWidget* owner, const QString& filter) = 0;

  // The folder-selection dialog with its prompt. nullopt when the user cancels.
  virtual std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt) = 0;

  // The save dialog: the name the user chose or typed, as given (no extension added, no question
  // about an existing file asked). `filter` as for ChooseFiles. nullopt when the user cancels.
  virtual std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& filter) = 0;

  // A message box with an OK button; "\n" starts a new line.
  virtual void ShowMessage(QWidget* owner, const QString& text, const QString& title) = 0;

  // A question with the buttons Yes and No; true for Yes.
  virtual bool AskYesNo(QWidget* owner, const QString& text, const QString& title) = 0;

  // Shows one of the program's own windows modally and returns when it is closed.
  virtual void ShowModal(QDialog& dialog) = 0;

  // False when the desktop could not open it (no handler, a missing file).
  virtual bool OpenWithDefaultHandler(const QUrl& url) = 0;
};

}  // namespace kestrel::app
