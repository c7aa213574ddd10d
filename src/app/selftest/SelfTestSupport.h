#pragma once

#include "platform/TextRecognizer.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

// What the self-test's checks share: the result lines and their count, the
// fixture folders, the guards that put process-wide state back, and strips of
// text drawn as the screen would show them.
namespace SelfTest {

using Print = std::function<void(const QString& line)>;

// The result lines of one group of checks, and how many failed.
class Report {
  public:
    explicit Report(Print print) : print_(std::move(print)) {}

    void pass(const QString& message) { print_(QStringLiteral("PASS  ") + message); }
    void fail(const QString& message) {
        print_(QStringLiteral("FAIL  ") + message);
        ++failures_;
    }
    void skip(const QString& message) { print_(QStringLiteral("SKIP  ") + message); }
    void detail(const QString& line) { print_(line); }
    // PASS with passed when ok, else FAIL with failed; returns ok.
    bool expect(bool ok, const QString& passed, const QString& failed) {
        ok ? pass(passed) : fail(failed);
        return ok;
    }
    qint64 failures() const { return failures_; }

  private:
    Print print_;
    qint64 failures_ = 0;
};

// What every group of checks is given.
struct Context {
    Print print;
    const platform::TextRecognizer& recognizer;
};

// The folder fixtures live in: one of this user's own under the system's
// temporary directory (which on Linux all users share), made private.
QString fixtureParent();

// A fresh folder for one group of checks, named after it, removed first if it
// exists and removed again when the fixture goes out of scope.
class Fixture {
  public:
    explicit Fixture(const QString& name);
    ~Fixture();
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    bool ready() const { return !root_.isEmpty(); }
    // The canonical path of the folder, or of a path inside it.
    QString path(const QString& relative = QString()) const;
    QUrl file(const QString& relative) const;
    // A directory URL (with its trailing slash).
    QUrl folder(const QString& relative = QString()) const;

    // Each of these makes the folders on the way; false when anything failed.
    bool image(const QString& relative) const; // the one-pixel PNG
    bool images(const QStringList& relatives) const;
    bool write(const QString& relative, const QByteArray& contents) const;
    bool makeFolder(const QString& relative) const;

  private:
    QString root_;
};

// A 1 x 1 black PNG; empty if it could not be encoded.
QByteArray onePixelPNG();

// The path of a URL as the checks print it ("-" for none; a web URL whole).
QString shown(const std::optional<QUrl>& url);
// The last n components of a result's path ("nothing" for none).
QString tail(const std::optional<QUrl>& url, int n);

// ---- Rendered strips --------------------------------------------------------

// Pixels per point of every rendered strip.
inline constexpr double kScale = 2.0;
inline constexpr double kPointSize = 13.0;
// Rows of terminal text this far apart.
inline constexpr double kRowHeight = 17.0;

// Text drawn into an image of a strip (white, black text).
struct Rendered {
    QImage image; // kScale pixels per point
    QRectF strip; // global points
    QStringList rows;
    QList<QRectF> boxes; // each row's text, global points
};

// Width in points of the text in the strip font.
double textWidth(const QString& text);

// One line at x points from the strip's left, its lowest point 7 points above
// the strip's bottom. None if the image could not be made.
std::optional<Rendered> render(const QString& text, QRectF strip, double x);
// Rows of text kRowHeight apart, the first row's top firstTop points below the strip's top.
std::optional<Rendered> render(const QStringList& rows, QRectF strip, double x, double firstTop);

// The pointer over the character at offset of the first `over` in the row
// (its middle character when offset is negative), moved right by shift points;
// vertically on the row's middle.
QPointF pointerOn(const Rendered& rendered, int row, const QString& over, int offset = -1, double shift = 0);

} // namespace SelfTest

namespace SelfTest {

// While alive, the resolver starts from a clean slate (empty memo and project
// caches, the given miss lifetime); on leaving, the memo is emptied and the
// miss lifetime is 2 seconds again.
class ResolverScope {
  public:
    explicit ResolverScope(double missLifetime = 2.0);
    ~ResolverScope();
    ResolverScope(const ResolverScope&) = delete;
    ResolverScope& operator=(const ResolverScope&) = delete;
};

// While alive, the session records are what a check sets; on leaving, they are
// none again and transcripts are looked for in the default folder.
class SessionsScope {
  public:
    SessionsScope();
    ~SessionsScope();
    SessionsScope(const SessionsScope&) = delete;
    SessionsScope& operator=(const SessionsScope&) = delete;
};

} // namespace SelfTest
