#pragma once

#include <QRegularExpression>
#include <QStringList>

// The macOS glyphs and words that must not reach a user of the Linux build:
// key glyphs, places of the Mac desktop and the names of its permission panes.
// Returns those found in text (empty: the text reads as Linux). Item names of
// the command line (`screen-recording`) and stored values are not user text
// and are not passed here.
inline QStringList macWording(const QString& text) {
    static const QList<QRegularExpression> terms = [] {
        QList<QRegularExpression> list;
        for (const char* pattern :
             {"[⌥⌘⌃⇧]", "\\bDock\\b", "\\bmenu[ -]bar\\b", "\\bSystem (Settings|Preferences)\\b",
              "\\bScreen Recording\\b", "\\bPrivacy & Security\\b", "\\bFinder\\b", "\\bOption\\b",
              "\\bCommand\\b", "\\bControl\\b"}) {
            const bool anyCase =
                QByteArray(pattern).contains("menu") || QByteArray(pattern).contains("Screen");
            list.append(QRegularExpression(QString::fromUtf8(pattern),
                                           anyCase ? QRegularExpression::CaseInsensitiveOption
                                                   : QRegularExpression::NoPatternOption));
        }
        return list;
    }();
    QStringList found;
    for (const QRegularExpression& term : terms) {
        const QRegularExpressionMatch match = term.match(text);
        if (match.hasMatch()) found.append(match.captured());
    }
    return found;
}

// Every text of the list that carries macOS wording, each with what was found.
inline QStringList withMacWording(const QStringList& texts) {
    QStringList bad;
    for (const QString& text : texts) {
        const QStringList found = macWording(text);
        if (!found.isEmpty())
            bad.append(QStringLiteral("\"%1\": %2").arg(text, found.join(QStringLiteral(", "))));
    }
    return bad;
}
