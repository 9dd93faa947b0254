#pragma once
// The about box: the program's icon and title, its version, the maker and two links.

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrel::app {

class Dialogs;
class StatusIcons;

class AboutDialog : public QDialog {
 public:
  // The product name is the application title at the time the box is created.
  AboutDialog(Dialogs& dialogs, const StatusIcons& icons, QWidget* parent);

  QLabel* productName = nullptr;
  QLabel* version = nullptr;
  QLabel* supportLink = nullptr;   // the support address
  QLabel* homePageLink = nullptr;  // the home page
  QPushButton* okButton = nullptr;

  void SupportLinkClick();
  void HomePageLinkClick();

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;

  Dialogs& dialogs_;
};

}  // namespace kestrel::app
