#include "core/AccessibilityLookup.h"

#include "core/Diagnostics.h"
#include "core/ImageReference.h"
#include "core/SpacedNames.h"

#include <QElapsedTimer>
#include <QQueue>
#include <array>
#include <limits>

namespace AccessibilityLookup {

namespace {

using Diagnostics::print;

// Beyond this a location cannot be a place in a text we would read, and adding
// the reach to it could overflow.
constexpr qint64 kLargestLocation = std::numeric_limits<qint64>::max() / 4;

QString roleOrQuestionMark(Element& element) {
    return element.role().value_or(QStringLiteral("?"));
}

bool containsWithMargin(const QRectF& rect, QPointF point) {
    return rect.adjusted(-kPointerMargin, -kPointerMargin, kPointerMargin, kPointerMargin).contains(point);
}

// The element's URL attribute, then its file name when that names an image.
void addAttributeFindings(Element& element, Findings& out) {
    const Value url = element.url();
    if (!std::holds_alternative<std::monostate>(url)) {
        const std::optional<QString> role = element.role();
        out.append(Finding{Finding::Kind::Attribute,
                           url,
                           {},
                           role == QStringLiteral("AXImage"),
                           role.value_or(QStringLiteral("?"))});
    }
    if (const std::optional<QString> name = element.filename()) {
        if (ImageReference::isSupportedExtension(ImageReference::pathExtension(*name)))
            out.append(Finding{
                Finding::Kind::Given, QUrl::fromLocalFile(*name), {}, false, roleOrQuestionMark(element)});
    }
}

// The element's character under the point lies at the point (the bounds
// grown by the margin), or the application does not say where it lies.
bool answersAt(Element& element, QPointF at) {
    const std::optional<CharacterRange> range = element.rangeForPosition(at);
    if (!range || range->location < 0 || range->length < 0 || range->location > kLargestLocation)
        return false;
    const std::optional<QRectF> bounds =
        screenBounds(CharacterRange{range->location, std::max<qint64>(range->length, 1)}, element);
    return !bounds || containsWithMargin(*bounds, at);
}

} // namespace

QString described(Element& element) {
    const std::optional<QRectF> rect = frame(element);
    QString text = roleOrQuestionMark(element);
    if (rect)
        text += QStringLiteral(" (%1,%2 %3x%4)")
                    .arg(qint64(rect->x()))
                    .arg(qint64(rect->y()))
                    .arg(qint64(rect->width()))
                    .arg(qint64(rect->height()));
    return text;
}

QList<std::shared_ptr<Element>> chain(const std::shared_ptr<Element>& element) {
    QList<std::shared_ptr<Element>> out;
    for (std::shared_ptr<Element> e = element; e && out.size() < kChainLength; e = e->parent())
        out.append(e);
    return out;
}

std::optional<QRectF> frame(Element& element) {
    const std::optional<QRectF> rect = element.frame();
    if (!rect || !(rect->width() > 0) || !(rect->height() > 0)) return std::nullopt;
    return rect;
}

bool passesFrameTest(Element& element, QPointF at) {
    const std::optional<QRectF> rect = frame(element);
    return !rect || containsWithMargin(*rect, at);
}

std::optional<QRectF> screenBounds(CharacterRange range, Element& element) {
    const std::optional<QRectF> rect = element.boundsForRange(range);
    if (!rect || !(rect->width() > 0) || !(rect->height() > 0)) return std::nullopt;
    return rect;
}

std::optional<CharacterRange> textWindow(qint64 location, std::optional<qint64> numberOfCharacters) {
    if (location < 0 || location > kLargestLocation) return std::nullopt;
    const qint64 lower = std::max<qint64>(location - kTextReach, 0);
    qint64 upper = location + kTextReach;
    if (numberOfCharacters) upper = std::min(upper, *numberOfCharacters);
    if (upper <= lower) return std::nullopt;
    return CharacterRange{lower, upper - lower};
}

QStringList shortLabelReferences(Element& element) {
    QStringList out;
    for (const Label which : {Label::Value, Label::Description, Label::Title}) {
        const std::optional<QString> label = element.label(which);
        if (!label || label->isEmpty() || label->size() > kLongestLabel || label->contains(QLatin1Char('\n')))
            continue;
        for (const ImageReference::Match& m : ImageReference::collect(ImageReference::strict(), *label))
            out.append(m.reference);
    }
    return out;
}

Findings textFindings(QPointF at, Element& element) {
    const std::optional<CharacterRange> range = element.rangeForPosition(at);
    if (!range || range->location < 0 || range->length < 0 || range->location > kLargestLocation) return {};

    const CharacterRange under{range->location, std::max<qint64>(range->length, 1)};
    if (const std::optional<QRectF> bounds = screenBounds(under, element)) {
        if (!containsWithMargin(*bounds, at)) {
            if (Diagnostics::verbose())
                print(QStringLiteral("  [ax] element answered for (%1, %2), not the pointer; ignoring it")
                          .arg(QString::number(bounds->x()), QString::number(bounds->y())));
            return {};
        }
    }

    const std::optional<CharacterRange> window = textWindow(range->location, element.numberOfCharacters());
    if (!window) return {};
    std::optional<QString> text = element.stringForRange(*window);
    if (!text) return {};
    // An application may answer with more than was asked; never search more
    // than the window, however much arrived.
    if (text->size() > window->length) text->truncate(window->length);
    const qint64 offset = range->location - window->location;

    Findings out;
    const QString role = roleOrQuestionMark(element);
    if (const std::optional<QString> ref = ImageReference::reference(*text, offset))
        out.append(Finding{Finding::Kind::Text, {}, *ref, false, role});
    if (const std::optional<QString> joined = ImageReference::referenceAcrossWrappedLines(*text, offset))
        out.append(Finding{Finding::Kind::Wrapped, {}, *joined, false, role});
    const QList<SpacedNames::Reading> spaced = SpacedNames::readings(*text, offset, offset);
    if (!spaced.isEmpty()) out.append(Finding{Finding::Kind::Spaced, {}, {}, false, role, spaced});
    return out;
}

std::optional<QUrl> imageReferenceInText(QPointF at, Element& element, const ResolutionContext& context) {
    return resolve(textFindings(at, element), context);
}

std::shared_ptr<Element> descendantWithText(const std::shared_ptr<Element>& element, QPointF at) {
    if (!element) return nullptr;
    if (element->numberOfCharacters()) return element;
    QElapsedTimer clock;
    clock.start();
    QQueue<std::pair<std::shared_ptr<Element>, int>> queue;
    queue.enqueue({element, 0});
    int examined = 0;
    while (!queue.isEmpty() && clock.elapsed() < kDescendantSearchMs) {
        const auto [parent, depth] = queue.dequeue();
        const qint64 count = parent->childCount();
        for (qint64 i = 0; i < count; ++i) {
            if (++examined > kMostDescendants || clock.elapsed() >= kDescendantSearchMs) return nullptr;
            const std::shared_ptr<Element> child = parent->child(i);
            if (!child || child->showing() == false) continue;
            const std::optional<QRectF> rect = frame(*child);
            if (rect && !rect->contains(at)) continue;
            if (rect && child->numberOfCharacters() && answersAt(*child, at)) return child;
            if (depth + 1 < kDescendantDepth) queue.enqueue({child, depth + 1});
        }
    }
    return nullptr;
}

Findings findings(const std::shared_ptr<Element>& element, QPointF at) {
    const QList<std::shared_ptr<Element>> elements = chain(element);

    // The frame decides for the attributes and labels of each element alike.
    QList<bool> inside;
    for (const auto& e : elements)
        inside.append(passesFrameTest(*e, at));

    Findings out;
    for (qsizetype i = 0; i < elements.size(); ++i)
        if (inside.at(i)) addAttributeFindings(*elements.at(i), out);

    // Path-like labels of every element first, then every label; each element's
    // labels are read once and serve both passes.
    QList<std::optional<QStringList>> labels(elements.size());
    for (const bool pathsOnly : {true, false}) {
        for (qsizetype i = 0; i < elements.size(); ++i) {
            if (!inside.at(i)) continue;
            Element& e = *elements.at(i);
            if (!labels[i]) labels[i] = shortLabelReferences(e);
            for (const QString& label : std::as_const(*labels[i])) {
                if (pathsOnly && !label.contains(QLatin1Char('/'))) continue;
                out.append(Finding{Finding::Kind::Label, {}, label, false, roleOrQuestionMark(e)});
            }
        }
    }

    for (const auto& e : elements)
        out.append(textFindings(at, *e));
    return out;
}

std::optional<QUrl> imageURL(const std::shared_ptr<Element>& element, QPointF at,
                             const ResolutionContext& context) {
    return resolve(findings(element, at), context);
}

QUrl documentDirectory(const QString& document) {
    const QUrl url(document, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile()) return {};
    // "file:///work/notes/plan.md" -> "file:///work/notes/", a directory URL as the resolver takes it.
    return url.adjusted(QUrl::RemoveFilename | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

} // namespace AccessibilityLookup
