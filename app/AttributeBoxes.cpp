#include "app/AttributeBoxes.h"

#include <QCheckBox>
#include <QHBoxLayout>

#include "platform/fs/FileState.h"

namespace kestrel::app {
namespace {

using catalogue::AttributeChoice;
using catalogue::AttributeChoices;

constexpr int kGroupHeight = 49;

struct Attribute {
  const char* caption;
  const char* name;
  AttributeChoice AttributeChoices::*choice;
  std::uint32_t bit;
};

const std::array<Attribute, 4> kAttributes = {{
    {"読み取り専用", "readOnlyBox", &AttributeChoices::readOnly, fs::kAttributeReadOnly},
    {"アーカイブ", "archiveBox", &AttributeChoices::archive, fs::kAttributeArchive},
    {"隠し", "hiddenBox", &AttributeChoices::hidden, fs::kAttributeHidden},
    {"システム", "systemBox", &AttributeChoices::system, fs::kAttributeSystem},
}};

AttributeChoice ChoiceOf(const QCheckBox& box) {
  switch (box.checkState()) {
    case Qt::Checked:
      return AttributeChoice::Set;
    case Qt::Unchecked:
      return AttributeChoice::Clear;
    default:
      return AttributeChoice::Keep;
  }
}

Qt::CheckState StateOf(AttributeChoice choice) {
  switch (choice) {
    case AttributeChoice::Set:
      return Qt::Checked;
    case AttributeChoice::Clear:
      return Qt::Unchecked;
    default:
      return Qt::PartiallyChecked;
  }
}

}  // namespace

AttributeBoxes::AttributeBoxes(Tab tab, QWidget* parent) : QGroupBox(QStringLiteral("ファイル属性"), parent) {
  setObjectName(WidgetName(tab, "attributesGroup"));
  setFixedHeight(kGroupHeight);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(8, 2, 8, 4);
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    QCheckBox* box = boxes_.at(i) = new QCheckBox(QString::fromUtf8(kAttributes.at(i).caption), this);
    box->setObjectName(WidgetName(tab, kAttributes.at(i).name));
    box->setTristate(true);
    box->setCheckState(Qt::PartiallyChecked);
    row->addWidget(box);
  }
  row->addStretch();
}

catalogue::AttributeChoices AttributeBoxes::Choices() const {
  AttributeChoices choices;
  for (std::size_t i = 0; i < boxes_.size(); ++i) choices.*kAttributes.at(i).choice = ChoiceOf(*boxes_.at(i));
  return choices;
}

void AttributeBoxes::ShowChoices(const catalogue::AttributeChoices& choices) {
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    boxes_.at(i)->setCheckState(StateOf(choices.*kAttributes.at(i).choice));
  }
}

void AttributeBoxes::ShowAttributes(std::uint32_t attributes) {
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    boxes_.at(i)->setCheckState((attributes & kAttributes.at(i).bit) != 0 ? Qt::Checked : Qt::Unchecked);
  }
}

}  // namespace kestrel::app
