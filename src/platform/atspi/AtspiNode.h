#pragma once

#include "core/AccessibilityLookup.h"
#include "platform/atspi/AtspiSession.h"
#include "platform/atspi/TextWindow.h"

#include <memory>
#include <optional>

// One AT-SPI accessible as the lookup sees an element. Each is made for one
// tick: what it reads once (role, frame, attributes, the text around the
// pointer) it keeps for the rest of the tick.
//
// The element's attributes, mapped onto AT-SPI:
//   "AXRole"                 "AX" and the role's name in camel case ("image" -> "AXImage")
//   "AXURL"                  the URI of the accessible's Hyperlink interface (links)
//   "AXFilename"             the object attribute "filename"
//   "AXValue"                the text of a Text interface of at most 256 characters
//   "AXDescription"          the description
//   "AXTitle"                the name
//   "AXPosition", "AXSize"   the Component's extents in screen coordinates
//   "AXParent"               the parent, up to the application
//   children, showing        the children and the "showing" state (the search below
//                            elements without text)
//   "AXRangeForPosition"     the Text's offset at the point
//   "AXBoundsForRange"       the Text's range extents
//   "AXNumberOfCharacters"   the Text's character count
//   "AXStringForRange"       the Text's text, read once around the pointer
// with the application's character offsets converted to UTF-16 (TextWindow).
namespace atspi {

class Node final : public AccessibilityLookup::Element {
  public:
    // application: the application object the accessible belongs to (the chain stops there).
    Node(std::shared_ptr<Session> session, Ref<AtspiAccessible> accessible, Ref<AtspiAccessible> application);

    AtspiAccessible* accessible() const { return accessible_.get(); }
    AtspiAccessible* application() const { return application_.get(); }

    std::optional<QString> role() override;
    AccessibilityLookup::Value url() override;
    std::optional<QString> filename() override;
    std::optional<QString> label(AccessibilityLookup::Label which) override;
    std::optional<QRectF> frame() override;
    std::shared_ptr<Element> parent() override;
    std::optional<AccessibilityLookup::CharacterRange> rangeForPosition(QPointF point) override;
    std::optional<QRectF> boundsForRange(AccessibilityLookup::CharacterRange range) override;
    std::optional<qint64> numberOfCharacters() override;
    std::optional<QString> stringForRange(AccessibilityLookup::CharacterRange range) override;
    qint64 childCount() override;
    std::shared_ptr<Element> child(qint64 index) override;
    std::optional<bool> showing() override;

    // The document address the accessible publishes ("DocURL", else "URI"), if it is a document.
    std::optional<QString> documentAddress();

    // "AX" and the role name in camel case: "push button" -> "AXPushButton".
    static QString roleName(const QString& atspiRoleName);

  private:
    std::optional<QString> text(qint64 from, qint64 to);

    std::shared_ptr<Session> session_;
    Ref<AtspiAccessible> accessible_;
    Ref<AtspiAccessible> application_;

    std::optional<std::optional<QString>> role_;
    std::optional<std::optional<QRectF>> frame_;
    std::optional<qint64> count_;          // characters, as the application counts them
    std::optional<TextWindow> textWindow_; // the text around the pointer
};

} // namespace atspi
