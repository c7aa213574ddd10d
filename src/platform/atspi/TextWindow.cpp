#include "platform/atspi/TextWindow.h"

#include <algorithm>

namespace {

// utf16[k]: the UTF-16 index at which code point k of the text starts; one more
// entry for the end.
QList<qint64> codePointStarts(const QString& text) {
    QList<qint64> starts;
    starts.reserve(text.size() + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        starts.append(i);
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
    }
    starts.append(text.size());
    return starts;
}

} // namespace

TextWindow::TextWindow(qint64 first, qint64 end, const QString& text) : first_(first), text_(text) {
    const QList<qint64> starts = codePointStarts(text_);
    const qint64 codePoints = starts.size() - 1;
    const qint64 asked = end - first;
    // Without characters beyond the first plane both counts agree and so do
    // both readings; an answer of neither length is taken as code points.
    utf16_ = codePoints != asked && text_.size() == asked;
    applicationLength_ = utf16_ ? text_.size() : codePoints;
    if (!utf16_) starts_ = starts;
}

std::optional<qint64> TextWindow::utf16Offset(qint64 applicationOffset) const {
    const qint64 k = applicationOffset - first_;
    if (k < 0 || k > applicationLength_) return std::nullopt;
    return first_ + (utf16_ ? k : starts_.at(k));
}

std::optional<qint64> TextWindow::applicationOffset(qint64 utf16Offset, bool roundUp) const {
    const qint64 i = utf16Offset - first_;
    if (i < 0 || i > text_.size()) return std::nullopt;
    if (utf16_) return first_ + i;
    // The last code point starting at or before i.
    const auto it = std::upper_bound(starts_.cbegin(), starts_.cend(), i) - 1;
    qint64 k = it - starts_.cbegin();
    if (roundUp && *it != i) ++k;
    return first_ + k;
}

qint64 TextWindow::unitsAt(qint64 applicationOffset) const {
    const qint64 k = applicationOffset - first_;
    if (k < 0 || k >= applicationLength_) return 0;
    if (!utf16_) return starts_.at(k + 1) - starts_.at(k);
    const bool pair =
        text_.at(k).isHighSurrogate() && k + 1 < text_.size() && text_.at(k + 1).isLowSurrogate();
    return pair ? 2 : 1;
}

std::optional<QString> TextWindow::slice(qint64 location, qint64 length) const {
    const qint64 i = location - first_;
    if (i < 0 || length < 0 || i > text_.size() || length > text_.size() - i) return std::nullopt;
    return text_.mid(i, length);
}

qint64 TextWindow::utf16Length(qint64 applicationCount) const {
    if (applicationCount <= first_) return applicationCount;
    if (const auto inside = utf16Offset(applicationCount)) return *inside;
    return first_ + text_.size() + (applicationCount - first_ - applicationLength_);
}
