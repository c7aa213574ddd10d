#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include <optional>

// Narrows and orders process roots to the window under the pointer, by the
// workspace its title names and the document it shows.
namespace WindowAffinity {

QSet<QString> titleTokens(const std::optional<QString>& title);

// The roots that belong to the window, best first; the input unchanged when
// nothing ties the window to any root. An empty document URL means none.
QList<QUrl> order(const QList<QUrl>& roots, const QUrl& document, const std::optional<QString>& title);

} // namespace WindowAffinity
