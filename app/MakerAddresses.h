#pragma once
// Where the maker of the program can be reached.

#include <QString>
#include <QUrl>

namespace kestrel::app {

inline const QString kMakerName = QStringLiteral("Norvale");
inline const QString kSupportAddress = QStringLiteral("support@norvale.example");
inline const QString kHomePage = QStringLiteral("https://www.norvale.example/");
inline const QString kOnlineHelpPage = QStringLiteral("https://www.norvale.example/kestrelpad/help/");

// A mail to the support address with the application title as its subject.
QUrl SupportMailUrl();

}  // namespace kestrel::app
