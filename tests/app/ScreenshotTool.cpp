// Screenshots of the program as a user sees it, for looking at the layout: the main window with
// the given documents listed (the last one selected), each in-place editor open, the batch tab,
// the hint window and the about box. The program has no command line, so this separate tool
// drives the same windows; scripts/screenshots.sh runs it under Xvfb.
//
// usage: kestrelpad_screenshots OUTPUT_FOLDER DOCUMENT...
#include <cstdio>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTabWidget>
#include <QTest>

#include "app/Dialogs.h"
#include "app/InPlaceEditors.h"
#include "app/MemoryPresetStore.h"
#include "app/ProgramForms.h"
#include "app/ProgramSetup.h"
#include "app/PropertyListView.h"

namespace {

using kestrel::app::PropertyListView;

void Save(QWidget& window, const QString& folder, const char* name) {
  QApplication::processEvents();
  const QString file = QDir(folder).filePath(QString::fromLatin1(name));
  if (!window.grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
  } else {
    std::printf("%s\n", qPrintable(file));
  }
}

// Answers the open dialog with the documents, and photographs the modal windows instead of
// waiting for the user to close them.
class PhotographingDialogs final : public kestrel::app::Dialogs {
 public:
  PhotographingDialogs(QString folder, QStringList documents)
      : folder_(std::move(folder)), documents_(std::move(documents)) {}

  std::optional<QStringList> ChooseFiles(QWidget*, const QString&) override { return documents_; }
  std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return std::nullopt; }
  void ShowMessage(QWidget*, const QString& text, const QString&) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
  void ShowModal(QDialog& dialog) override {
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) std::fprintf(stderr, "%s was not shown\n", qPrintable(dialog.windowTitle()));
    Save(dialog, folder_, dialog.windowTitle() == QStringLiteral("ヘルプヒント") ? "hint.png" : "about.png");
    dialog.hide();
  }
  void OpenWithDefaultHandler(const QUrl&) override {}

 private:
  QString folder_;
  QStringList documents_;
};

void ClickValue(PropertyListView& list, int row) {
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualRect(list.model()->index(row, 1)).center());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: kestrelpad_screenshots OUTPUT_FOLDER DOCUMENT...\n");
    return 2;
  }
  kestrel::app::SetUpProgram(application);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  QStringList documents;
  for (int i = 2; i < argc; ++i) documents << QDir(QString::fromLocal8Bit(argv[i])).absolutePath();

  PhotographingDialogs dialogs(folder, documents);
  const kestrel::app::MemoryPresetStore presets;
  kestrel::app::ProgramForms forms(dialogs, presets);
  kestrel::app::TForm1& form = forms.form1;
  form.show();
  form.activateWindow();
  if (!QTest::qWaitForWindowActive(&form)) std::fprintf(stderr, "the main window did not become active\n");
  form.ToolButton1Click();
  Save(form, folder, "single.png");

  PropertyListView& list = *form.ListView3;
  ClickValue(list, 0);
  Save(form, folder, "editor-text.png");
  ClickValue(list, 13);
  Save(form, folder, "editor-date.png");
  ClickValue(list, 12);
  Save(form, folder, "editor-number.png");
  form.CloseEditors();

  form.PageControl1->setCurrentIndex(1);
  Save(form, folder, "batch.png");
  form.PageControl1->setCurrentIndex(0);
  form.Showhint1Click();
  form.about1Click();
  return 0;
}
