#pragma once

#include "core/ResolutionContext.h"
#include "core/SpacedNames.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <variant>

// Turning what an accessibility element publishes about itself into one
// resolved image URL: its URL and file name, its short labels, and the text
// around the character under the pointer.
//
// It runs in two halves. Reading the elements asks their application over the
// accessibility bus and belongs on the main thread, like the tick; it yields
// findings, in the order they are tried. Resolving the findings waits on the
// disk (a bare name is looked for through the project, up to thousands of
// folders), so the agent runs it on a worker; it touches no element.
//
// The element is an interface so that this logic knows nothing of the platform
// (AT-SPI here) and can be tested with a tree of fake elements. It lives in the
// core because it needs Qt Core only.
//
// Text offsets and lengths are UTF-16 code units; geometry is global points.
namespace AccessibilityLookup {

struct CharacterRange {
    qint64 location = 0;
    qint64 length = 0;
    bool operator==(const CharacterRange&) const = default;
};

// An attribute value as the platform hands it over: a URL, a string, or
// anything else (monostate, also when the attribute is absent).
using Value = std::variant<std::monostate, QUrl, QString>;

// The short labels, in the order they are tried.
enum class Label { Value, Description, Title };

// One element of the application under the pointer. Every read may fail; a
// failure, a missing attribute and a value of the wrong kind all read as absent.
class Element {
  public:
    virtual ~Element() = default;

    // "AXRole", with the platform's role mapped to the same naming ("AXImage", "AXLink", ...).
    virtual std::optional<QString> role() = 0;
    // "AXURL".
    virtual Value url() = 0;
    // "AXFilename".
    virtual std::optional<QString> filename() = 0;
    // "AXValue", "AXDescription", "AXTitle".
    virtual std::optional<QString> label(Label which) = 0;
    // "AXPosition" and "AXSize" together, as the application reports them.
    virtual std::optional<QRectF> frame() = 0;
    // "AXParent"; null when there is none.
    virtual std::shared_ptr<Element> parent() = 0;

    // "AXRangeForPosition", "AXBoundsForRange", "AXNumberOfCharacters", "AXStringForRange".
    virtual std::optional<CharacterRange> rangeForPosition(QPointF point) = 0;
    virtual std::optional<QRectF> boundsForRange(CharacterRange range) = 0;
    virtual std::optional<qint64> numberOfCharacters() = 0;
    virtual std::optional<QString> stringForRange(CharacterRange range) = 0;

    // The element's children, for the search below an element that publishes
    // no text (descendantWithText). An element that cannot list them has none.
    virtual qint64 childCount() { return 0; }
    virtual std::shared_ptr<Element> child(qint64 index) {
        (void)index;
        return nullptr;
    }
    // False when the element is known not to be on screen (a notebook's hidden
    // page, which may still report the visible page's extents); none when unknown.
    virtual std::optional<bool> showing() { return std::nullopt; }
};

// The margin, in points, by which a frame or a character's bounds are grown
// before testing whether the pointer lies inside.
inline constexpr double kPointerMargin = 12.0;
// At most this many elements are examined: the element and up to 4 ancestors.
inline constexpr int kChainLength = 5;
// UTF-16 units read on each side of the pointer's character.
inline constexpr qint64 kTextReach = 1024;
// Labels longer than this are not searched.
inline constexpr qsizetype kLongestLabel = 256;

// The search below an element without text: elements examined, levels
// descended and milliseconds spent at most. The accessibility session's budget
// for the tick bounds it too.
inline constexpr int kMostDescendants = 128;
inline constexpr int kDescendantDepth = 8;
inline constexpr qint64 kDescendantSearchMs = 60;

// The element to read at the point. The hit test ends at the deepest element
// whose children publish extents holding the point; in GTK notebooks that is
// the page tab list, whose page tabs publish none (-1,-1 -1x-1) although the
// terminal or editor below them publishes its text and extents. So when the
// element has no text, its descendants are searched, breadth first, past
// children without usable extents and never into a child whose extents miss
// the point or that is known not to be showing, for an element with text
// whose extents hold the point and whose character under the point lies
// there too (an element that answers for another place is passed over).
// The element itself when it has text; null when nothing qualifies.
std::shared_ptr<Element> descendantWithText(const std::shared_ptr<Element>& element, QPointF at);

// One thing an element says that may name an image.
struct Finding {
    enum class Kind {
        Attribute, // a URL attribute's value: a URL, or text resolved exactly
        Given,     // an image the element names outright (its file name), taken as it is
        Label,     // a reference in a short label: on disk, then the session records
        Text,      // the reference in the text under the pointer: exact, then the project
        Wrapped,   // a path rejoined across wrapped lines: exact only
        Spaced,    // names with spaces at the pointer: as written, else in the project
    };
    Kind kind = Kind::Given;
    Value value{};                          // Attribute: the value; Given: the URL
    QString text{};                         // Label, Text, Wrapped: the reference
    bool knownImage = false;                // Attribute: the element is an image
    QString role{};                         // the element's role, for the diagnostics
    QList<SpacedNames::Reading> readings{}; // Spaced: the readings to choose among
    bool operator==(const Finding&) const = default;
};
using Findings = QList<Finding>;

// The findings at the point, in the order they are tried: direct attributes,
// then the two label passes, then the text under the pointer, over the element
// and its nearest ancestors. Reads the elements, never the disk.
Findings findings(const std::shared_ptr<Element>& element, QPointF at);

// The first finding that names one existing image (or a web image). Reads the
// disk, never an element: safe on any thread.
std::optional<QUrl> resolve(const Findings& findings, const ResolutionContext& context);

// What the main thread may answer without a search of the disk: the
// findings are tried in order, each only as far as a few file tests go
// (attributes, and the text's reference against the base, its ancestors and
// the roots), up to the first that would search further (any label: it may
// be repaired or looked up in the project and the session records; a bare
// name in the text, or a name with spaces, looked up in the project). Either the answer the full
// resolution would give, or the findings from that one on, to resolve() on a
// worker; both empty when the findings name nothing.
struct QuickAnswer {
    std::optional<QUrl> url;
    Findings rest;
};
QuickAnswer resolveQuickly(const Findings& findings, const ResolutionContext& context);

// Both halves at once, for callers that may wait (the command line, tests).
std::optional<QUrl> imageURL(const std::shared_ptr<Element>& element, QPointF at,
                             const ResolutionContext& context);

// Interprets the value of a URL attribute.
std::optional<QUrl> imageURLFromAccessibilityValue(const Value& value, const ResolutionContext& context,
                                                   bool knownToBeAnImage);

// Reads the text around the character under the pointer: the reference
// there, the path rejoined across wrapped lines, and names with spaces.
Findings textFindings(QPointF at, Element& element);
std::optional<QUrl> imageReferenceInText(QPointF at, Element& element, const ResolutionContext& context);

// Every strict reference in the element's short labels, label by label, in order.
QStringList shortLabelReferences(Element& element);

// The element and its ancestors, nearest first, at most kChainLength.
QList<std::shared_ptr<Element>> chain(const std::shared_ptr<Element>& element);

// The element for the log: its role and, when known, its frame ("terminal (41,80 702x268)").
QString described(Element& element);

// The frame, known only when both sides are positive.
std::optional<QRectF> frame(Element& element);

// Whether the pointer lies inside the element's frame grown by the margin, or
// the frame is unknown.
bool passesFrameTest(Element& element, QPointF at);

// The screen rectangle of a character range, known only when both sides are positive.
std::optional<QRectF> screenBounds(CharacterRange range, Element& element);

// The text read around a location: 1024 units on each side, clipped to the
// text when its length is known. None when nothing is left or the location is
// not a place in any text (negative, absurdly large).
std::optional<CharacterRange> textWindow(qint64 location, std::optional<qint64> numberOfCharacters);

// The folder of the document a window shows: its document string parsed as a
// URL, when that is a file URL; empty otherwise.
QUrl documentDirectory(const QString& document);

} // namespace AccessibilityLookup
