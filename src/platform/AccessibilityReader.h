#pragma once

#include "core/AccessibilityLookup.h"
#include "core/ResolutionContext.h"

#include <QPointF>
#include <QString>
#include <QUrl>
#include <QtGlobal>
#include <memory>
#include <optional>

// Reading what an application publishes about the element under the pointer
// (AT-SPI on Linux). The hover controller asks it first, before reading the
// screen. Main thread only.

// One element found under the pointer; the reader's own handle.
class AccessibilityElement {
  public:
    virtual ~AccessibilityElement() = default;
    virtual std::optional<qint32> processId() const = 0;
    virtual std::optional<QString> role() const = 0;
};

// The folder of the document a window shows and the window's title.
struct WindowContext {
    QUrl documentDirectory; // empty when the window names no local document
    std::optional<QString> title;
};

class AccessibilityReader {
  public:
    virtual ~AccessibilityReader() = default;

    // Asks for access to other applications' accessibility (on Linux: switching
    // the accessibility bus on). The answer is not waited for.
    virtual void requestAccess() = 0;

    // The element at the point (global points), or null.
    virtual std::shared_ptr<AccessibilityElement> elementAt(QPointF point) = 0;

    // Asks the element's application, once per process, to publish its
    // accessibility tree (applications that only do so on request).
    virtual void wakeAccessibility(const AccessibilityElement& element) = 0;

    // The element's window: its document folder and title; none without a window.
    virtual std::optional<WindowContext> windowContext(const AccessibilityElement& element) = 0;

    // What the element and its ancestors say at the point that may name an
    // image, in the order it is tried; resolving it is the caller's (on a
    // worker when it may search the disk).
    virtual AccessibilityLookup::Findings findingsAt(const AccessibilityElement& element, QPointF at) = 0;

    // The image the element names at the point, resolved where the context
    // says: for callers that may wait on the disk (the command line, tests).
    std::optional<QUrl> imageURL(const AccessibilityElement& element, QPointF at,
                                 const ResolutionContext& context) {
        return AccessibilityLookup::resolve(findingsAt(element, at), context);
    }
};

// Finds no element anywhere: the controller then reads the screen, with the
// window's pid and title from the window system.
class NoAccessibilityReader final : public AccessibilityReader {
  public:
    void requestAccess() override {}
    std::shared_ptr<AccessibilityElement> elementAt(QPointF) override { return nullptr; }
    void wakeAccessibility(const AccessibilityElement&) override {}
    std::optional<WindowContext> windowContext(const AccessibilityElement&) override { return std::nullopt; }
    AccessibilityLookup::Findings findingsAt(const AccessibilityElement&, QPointF) override { return {}; }
};
