#pragma once
// The dialog of 個人情報を削除: a checked list of what to remove from every listed document.

#include <vector>

#include <QDialog>

#include "catalogue/PersonalInformation.h"

class QListWidget;

namespace kestrel::app {

class PersonalInfoDialog : public QDialog {
 public:
  explicit PersonalInfoDialog(QWidget* parent);

  // The items checked when OK was pressed; every item starts checked.
  std::vector<catalogue::PersonalItem> Chosen() const;

  QListWidget* items = nullptr;
};

}  // namespace kestrel::app
