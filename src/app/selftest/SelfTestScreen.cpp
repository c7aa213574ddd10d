// The self-test's checks of the screen reader: references read off strips of
// rendered text, wrapped across rows, wider than a tile, and in tables.
#include "app/selftest/SelfTestChecks.h"
#include "core/CodexSessions.h"
#include "core/Diagnostics.h"
#include "core/ImageReference.h"
#include "screen/Lines.h"
#include "screen/Recognizing.h"
#include "screen/ScreenTextReader.h"

#include <cmath>

namespace SelfTest {

namespace {

// Rows of text in a strip 76 points high (as captured), the pointer's row in
// the middle, and where on it the pointer rests.
struct Scene {
    double width = 900;
    QStringList rows;
    int row = 0;
    QString over;     // the pointer rests on this text of its row ...
    int offset = -1;  // ... on this character of it (its middle when negative) ...
    double shift = 0; // ... moved right by this many points
    double left = 10;
};

// What the screen reader finds in the scene: nothing, a URL, or (outer nullopt) no image.
std::optional<std::optional<QUrl>> read(const Context& context, const Scene& scene, const QUrl& base) {
    const QRectF strip(0, 300, scene.width, 76);
    const double firstTop = 38 - 7.5 - kRowHeight * scene.row;
    const std::optional<Rendered> rendered = render(scene.rows, strip, scene.left, firstTop);
    if (!rendered) return std::nullopt;
    const QPointF pointer = pointerOn(*rendered, scene.row, scene.over, scene.offset, scene.shift);
    return ScreenTextReader::recognize(context.recognizer, rendered->image, rendered->strip, pointer, {base},
                                       Diagnostics::verbose());
}

// One reading checked against the file it should find (none: nothing).
void expectRead(Report& report, const Context& context, const Scene& scene, const QUrl& base,
                const std::optional<QUrl>& expected, const QString& passed, const QString& failed) {
    const std::optional<std::optional<QUrl>> found = read(context, scene, base);
    if (!found) {
        report.fail(QStringLiteral("could not render ") + scene.rows.join(QStringLiteral(" / ")));
        return;
    }
    report.expect(*found == expected, passed, failed + QStringLiteral(", got ") + shown(*found));
}

} // namespace

qint64 wrappedLine(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-wrapped-line"));
    bool built =
        fixture.makeFolder(QStringLiteral(".git")) && fixture.image(QStringLiteral("wrap/hero-frame-01.png"));
    for (int i = 1; i <= 7; ++i)
        built = built && fixture.image(QStringLiteral("scenes/S00%1/contact-sheet.png").arg(i));
    if (!built) {
        report.fail(QStringLiteral("could not build the wrapped-line fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    const QUrl base = fixture.folder();
    const QUrl sheet = fixture.file(QStringLiteral("scenes/S002/contact-sheet.png"));

    const QStringList twoRows{QStringLiteral("wrote the contact sheet to scenes/S002/"),
                              QStringLiteral("contact-sheet.png and moved on")};
    expectRead(report, context, Scene{900, twoRows, 1, QStringLiteral("contact-sheet")}, base, sheet,
               QStringLiteral("wrapped line read off a two-line strip -> S002/contact-sheet.png"),
               QStringLiteral("wrapped line not read off a two-line strip"));

    const std::optional<QUrl> wrappedTail =
        ImageReference::resolveExisting(QStringLiteral("S002/contact-sheet.png"), {base});
    report.expect(wrappedTail == sheet, QStringLiteral("wrapped tail resolved -> ") + tail(wrappedTail, 2),
                  QStringLiteral("wrapped tail gave ") + shown(wrappedTail));
    const std::optional<QUrl> bare =
        ImageReference::resolveExisting(QStringLiteral("contact-sheet.png"), {base});
    report.expect(!bare, QStringLiteral("ambiguous bare name refused (7 candidates)"),
                  QStringLiteral("ambiguous bare name guessed ") + shown(bare));

    const QUrl hero = fixture.file(QStringLiteral("wrap/hero-frame-01.png"));
    const QStringList split{QStringLiteral("$ ls -d wrap/*"), QStringLiteral("wrap/hero-fr"),
                            QStringLiteral("ame-01.png"), QStringLiteral("$ echo done")};
    for (const auto& [row, over, part] : {std::tuple{1, QStringLiteral("hero-fr"), QStringLiteral("head")},
                                          std::tuple{2, QStringLiteral("ame-01"), QStringLiteral("tail")}})
        expectRead(report, context, Scene{900, split, row, over}, base, hero,
                   QStringLiteral("filename split across rows, pointer on the ") + part,
                   QStringLiteral("filename split across rows, pointer on the ") + part);

    expectRead(report, context,
               Scene{900,
                     {QStringLiteral("$ ls"), QStringLiteral("wrap/hero-fr"), QString(), QString()},
                     1,
                     QStringLiteral("hero-fr")},
               base, std::nullopt, QStringLiteral("pointer on the wrapped head matches nothing"),
               QStringLiteral("pointer on the wrapped head matched"));
    expectRead(report, context,
               Scene{900,
                     {QString(), QStringLiteral("The quick brown fox jumps over the lazy dog and then"),
                      QStringLiteral("runs back home again")},
                     2,
                     QStringLiteral("back")},
               base, std::nullopt, QStringLiteral("rejoined prose matches nothing"),
               QStringLiteral("rejoined prose matched"));
    return report.failures();
}

qint64 wideStrip(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-wide-strip"));
    const QString path = QStringLiteral("generated_images/2024-06-01/session-0193a4b2-7c1d-4e5f-8a9b/"
                                        "render-passes/beauty-and-lighting/final-composite-review/"
                                        "frame-0042-approved.png");
    const double pathWidth = textWidth(path);
    if (!fixture.makeFolder(QStringLiteral(".git")) || !fixture.image(path) ||
        pathWidth <= ScreenTextReader::kTileSpanWidth) {
        report.fail(QStringLiteral("could not build the wide-strip fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    const QUrl base = fixture.folder();
    const QUrl expected = fixture.file(path);

    // What one tile shows of it: the end, cut somewhere inside a folder name.
    QString visible = path;
    while (textWidth(visible) > ScreenTextReader::kTileSpanWidth * 0.8)
        visible.remove(0, 1);
    const std::optional<QUrl> byTail = ImageReference::resolveExisting(visible, {base});
    report.expect(byTail == expected,
                  QString::asprintf("%.0fpt path, longer than one tile, resolved by its tail", pathWidth),
                  QStringLiteral("the visible end \"") + visible + QStringLiteral("\" gave ") +
                      shown(byTail));

    const QString line = QStringLiteral("see ") + path;
    for (const double width : {2400.0, 1600.0}) {
        for (const double left : {60.0, width - textWidth(line) - 60}) {
            for (const auto& [over, name] :
                 {std::pair{QStringLiteral("frame-0042"), QStringLiteral("file name")},
                  std::pair{QStringLiteral("final-composite"), QStringLiteral("last folder")}}) {
                const QString where = QStringLiteral("x=%1").arg(std::lround(left));
                expectRead(report, context, Scene{width, {QString(), line, QString()}, 1, over, -1, 0, left},
                           base, expected,
                           QString::asprintf("%.0fpt path in a %.0fpt strip at %s, pointer on the %s",
                                             pathWidth, width, qPrintable(where), qPrintable(name)),
                           QString::asprintf("%.0fpt path in a %.0fpt strip at %s, pointer on the %s",
                                             pathWidth, width, qPrintable(where), qPrintable(name)));
            }
        }
    }
    return report.failures();
}

qint64 hoverPosition(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-hover-position"));
    if (!fixture.image(QStringLiteral("shots/hover-target.png"))) {
        report.fail(QStringLiteral("could not build the hover-position fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    const QUrl expected = fixture.file(QStringLiteral("shots/hover-target.png"));
    const QString reference = QStringLiteral("shots/hover-target.png");
    const QStringList rows{QString(), QStringLiteral("open ") + reference + QStringLiteral(" now"),
                           QString()};
    qsizetype misses = 0;
    for (int offset = 0; offset < reference.size(); ++offset) {
        const Scene scene{600, rows, 1, reference, offset};
        const std::optional<std::optional<QUrl>> found = read(context, scene, fixture.folder());
        if (found && *found == expected) continue;
        ++misses;
        const double x = 10 + textWidth(QStringLiteral("open ") + reference.left(offset)) +
                         textWidth(reference.mid(offset, 1)) / 2;
        report.fail(QString::asprintf("no preview with the pointer at %.1fpt (on \"%s\"), got ", x,
                                      qPrintable(reference.mid(offset, 1))) +
                    (found ? shown(*found) : QStringLiteral("no image")));
    }
    if (misses == 0)
        report.pass(QStringLiteral(
                        "a rendered reference previews from every pointer position along it (%1 positions)")
                        .arg(reference.size()));
    return report.failures();
}

qint64 wrappedTableLink(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-table-link"));
    const QString shot = QStringLiteral("episodes/episode-%1/storyboard/S01_1672x941.png");
    if (!fixture.makeFolder(QStringLiteral(".git")) ||
        !fixture.images({shot.arg(QStringLiteral("07")), shot.arg(QStringLiteral("12")),
                         shot.arg(QStringLiteral("19"))})) {
        report.fail(QStringLiteral("could not build the table-link fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    SessionsScope sessions;
    CodexSessions::setOverride(QList<QUrl>{fixture.file(shot.arg(QStringLiteral("12")))});
    const QUrl base = fixture.folder();

    // Each cell's link wraps inside its cell, mid-name.
    const QStringList table{QStringLiteral("07  View S01 (episodes/episode-07/storyboard/S01_16"),
                            QStringLiteral("72x941.png)   approved"),
                            QStringLiteral("19  View S01 (episodes/episode-19/storyboard/S01_16"),
                            QStringLiteral("72x941.png)   approved")};
    qint64 wrong = 0;
    for (const auto& [row, over, episode] :
         {std::tuple{0, QStringLiteral("episode-07"), QStringLiteral("07")},
          std::tuple{1, QStringLiteral("941"), QStringLiteral("07")},
          std::tuple{2, QStringLiteral("episode-19"), QStringLiteral("19")},
          std::tuple{3, QStringLiteral("941"), QStringLiteral("19")}}) {
        const std::optional<std::optional<QUrl>> found = read(context, Scene{600, table, row, over}, base);
        if (found && *found == fixture.file(shot.arg(episode))) continue;
        ++wrong;
        report.fail(QStringLiteral("the link of episode %1, pointer on \"%2\" of row %3, gave ")
                        .arg(episode, over)
                        .arg(row + 1) +
                    (found ? shown(*found) : QStringLiteral("no image")));
    }
    if (wrong == 0)
        report.pass(QStringLiteral(
            "each wrapped link in a table previews its own episode, not the one a session showed"));

    const QString label = QStringLiteral("View the updated S01_1672x941.png");
    const QList<ImageReference::Match> matches = ImageReference::collect(ImageReference::strict(), label);
    const std::optional<QUrl> bare =
        matches.isEmpty() ? std::nullopt : ImageReference::resolveExisting(matches.first().reference, {base});
    report.expect(bare == fixture.file(shot.arg(QStringLiteral("12"))),
                  QStringLiteral("a bare link label still resolves to the copy the session showed"),
                  QStringLiteral("a bare link label gave ") + shown(bare));
    return report.failures();
}

qint64 terminalWrap(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-terminal-wrap"));
    const QString path = QStringLiteral("renders/2024-06-01/frame-final.png");
    if (!fixture.makeFolder(QStringLiteral(".git")) || !fixture.image(path) ||
        !fixture.image(QStringLiteral("renders/2024-06-02/frame-final.png"))) {
        report.fail(QStringLiteral("could not build the terminal-wrap fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    const QUrl base = fixture.folder();
    const QUrl expected = fixture.file(path);

    // The terminal is as wide as the first row: it wraps the path after "fr".
    const QString first =
        QStringLiteral("The final render of the scene, after the colour pass and the denoise, was "
                       "written to the project folder for review as renders/2024-06-01/fr");
    const QStringList rows{
        QString(), first, QStringLiteral("ame-final.png"),
        QStringLiteral("It took 42 seconds and used 3 GB of memory on the render machine."),
        QStringLiteral("Next compare it with the reference frames and decide what to keep.")};
    for (const auto& [row, over, position] :
         {std::tuple{1, QStringLiteral("renders"), QStringLiteral("the start of its first row")},
          std::tuple{1, QStringLiteral("2024-06-01"), QStringLiteral("its folder")},
          std::tuple{2, QStringLiteral("ame-final"), QStringLiteral("its second row")}})
        expectRead(report, context, Scene{2400, rows, row, over}, base, expected,
                   QStringLiteral("a path wrapped across a wide terminal previews its own file at ") +
                       position,
                   QStringLiteral("a path wrapped across a wide terminal, pointer on ") + position);
    for (const auto& [row, over] :
         {std::pair{3, QStringLiteral("seconds")}, std::pair{4, QStringLiteral("compare")}})
        expectRead(
            report, context, Scene{2400, rows, row, over}, base, std::nullopt,
            QStringLiteral("the prose under a wrapped path previews nothing (row %1)").arg(row - 1),
            QStringLiteral("the prose under a wrapped path previewed something (row %1)").arg(row - 1));
    return report.failures();
}

} // namespace SelfTest
