#pragma once

#include <QFont>
#include <QString>

// Fitting a message into the card: wrapped at word boundaries to the width,
// at most maxLines lines, the last one cut short with an ellipsis when the
// text goes on. Explicit line breaks are kept.
namespace MessageText {

QString fitted(const QString& text, const QFont& font, qreal width, int maxLines);

} // namespace MessageText
