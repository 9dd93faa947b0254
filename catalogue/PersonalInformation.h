#pragma once
// What removing personal information may remove, as the list the user checks: the rows that
// name people and their organisation, the last-printed date, the custom properties, the template
// path and the hyperlink base. Nothing here throws.

#include <array>
#include <string_view>

#include "catalogue/PropertyCatalogue.h"

namespace kestrel::catalogue {

enum class PersonalItem { Author, LastSavedBy, Manager, Company, Comments, LastPrinted, Custom, Template, HyperlinkBase };

struct PersonalItemName {
  PersonalItem item;
  std::string_view key;    // the companion's word for it ("author")
  std::string_view label;  // the window's
  int row;                 // the catalogue row it empties, or -1
};

inline constexpr std::array<PersonalItemName, 9> kPersonalItems = {{
    {PersonalItem::Author, "author", "作成者", kAuthor},
    {PersonalItem::LastSavedBy, "last-author", "前回保存者", kLastSavedBy},
    {PersonalItem::Manager, "manager", "管理者", kManager},
    {PersonalItem::Company, "company", "会社名", kCompany},
    {PersonalItem::Comments, "comments", "コメント", kComments},
    {PersonalItem::LastPrinted, "printed", "前回印刷日時", kLastPrinted},
    {PersonalItem::Custom, "custom", "ユーザー設定のプロパティ", -1},
    {PersonalItem::Template, "template", "テンプレート", -1},
    {PersonalItem::HyperlinkBase, "hyperlink-base", "ハイパーリンクの基点", -1},
}};

}  // namespace kestrel::catalogue
