#include "app/DesktopDialogs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace kestrel::app {

QString QtNameFilter(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
      QString anyCase;
      for (const QChar c : pattern) {
        anyCase += c.isLetter() ? QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper()) : QString(c);
      }
      patterns << anyCase;
    }
    filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(u' '));
  }
  return filters.join(QStringLiteral(";;"));
}

std::optional<QStringList> DesktopDialogs::ChooseFiles(QWidget* owner, const QString& filter) {
  QFileDialog dialog(owner);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilter(QtNameFilter(filter));
  // The case-blind patterns are noise to read; the filter's own text says what is shown.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setFilter(dialog.filter() | QDir::Hidden | QDir::System);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selectedFiles();
}

std::optional<QString> DesktopDialogs::ChooseFolder(QWidget* owner, const QString& prompt) {
  const QString folder = QFileDialog::getExistingDirectory(owner, prompt);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

std::optional<QString> DesktopDialogs::ChooseSaveFile(QWidget* owner, const QString& filter) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QtNameFilter(filter));
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  // The caller adds the default extension and then asks about an existing file itself.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

void DesktopDialogs::ShowMessage(QWidget* owner, const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
  box.exec();
}

bool DesktopDialogs::AskYesNo(QWidget* owner, const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, owner);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void DesktopDialogs::ShowModal(QDialog& dialog) { dialog.exec(); }

bool DesktopDialogs::OpenWithDefaultHandler(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace kestrel::app
