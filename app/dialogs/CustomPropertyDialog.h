#pragma once
// The dialog that adds or edits one custom property: its name, its type and its value, checked
// as the change will store it before the dialog closes. In the batch tab it may instead name a
// property to remove.

#include <optional>
#include <string>

#include <QDialog>

#include "catalogue/OtherProperties.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace kestrel::app {

class CustomPropertyDialog : public QDialog {
 public:
  // `removals`: the type list ends with 削除 (remove the property of that name).
  CustomPropertyDialog(bool removals, QWidget* parent);

  // Fills the fields; a null value with `removals` selects 削除.
  void Show(const QString& name, const std::optional<catalogue::CustomValue>& value);

  // After OK: the name and the value (nullopt: remove it).
  const std::string& Name() const { return name_; }
  const std::optional<catalogue::CustomValue>& Value() const { return value_; }

  QLineEdit* nameField = nullptr;
  QComboBox* typeBox = nullptr;
  QLineEdit* valueField = nullptr;
  QLabel* problem = nullptr;

  void accept() override;

 private:
  std::string name_;
  std::optional<catalogue::CustomValue> value_;
};

}  // namespace kestrel::app
