#pragma once
// The page 「その他のプロパティ」 of either tab, beside the page of the 14 rows. In the single tab it lists what the selected
// document stores beyond the 14 rows (its custom properties, editable, then the others, read-only)
// with the custom edits made since it was read; in the batch tab it lists the custom properties
// every document is to get or lose. Edits reach a document only through 変更.

#include <vector>

#include <QWidget>

#include "app/TabWidgetNames.h"
#include "catalogue/OtherProperties.h"

class QPushButton;
class QTableWidget;

namespace kestrel::app {

class Dialogs;

class OtherPropertiesPanel : public QWidget {
 public:
  OtherPropertiesPanel(Tab tab, Dialogs& dialogs, QWidget* parent);

  // Single tab: the document's stored properties, no edit made yet; or why they cannot be read.
  void ShowStored(std::vector<catalogue::OtherProperty> stored);
  void ShowUnreadable(const QString& why);
  void Clear();

  // The edits made since the list was shown (single) or set up (batch).
  const catalogue::OtherEdits& Edits() const { return edits_; }
  // After a change that stored the edits: the list shows them as stored, none pending.
  void Settle();

  QTableWidget* table = nullptr;
  QPushButton* addButton = nullptr;
  QPushButton* editButton = nullptr;
  QPushButton* removeButton = nullptr;

 private:
  // What the table shows: the custom properties after the edits, then the others (single); the
  // edits (batch).
  std::vector<catalogue::OtherProperty> Shown() const;
  void Refill();
  void AddProperty();
  void EditSelected();
  void RemoveSelected();
  // Opens the dialog filled with `name` and `value`; stores its answer as an edit.
  void AskAndStore(const QString& name, const std::optional<catalogue::CustomValue>& value);
  void EnableButtons();

  Tab tab_;
  Dialogs& dialogs_;
  bool readable_ = false;
  std::vector<catalogue::OtherProperty> stored_;
  catalogue::OtherEdits edits_;
};

}  // namespace kestrel::app
