#include "app/agent/MessageText.h"

#include <QFontMetricsF>
#include <QStringList>
#include <QTextLayout>
#include <QTextOption>

namespace MessageText {

QString fitted(const QString& text, const QFont& font, qreal width, int maxLines) {
    if (maxLines <= 0 || width <= 0) return {};
    const QFontMetricsF metrics(font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    QStringList lines;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        const QString& paragraph = paragraphs[p];
        QStringList wrapped;
        if (paragraph.isEmpty()) {
            wrapped.append(QString());
        } else {
            QTextLayout layout(paragraph, font);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(width);
                wrapped.append(paragraph.mid(line.textStart(), line.textLength()));
            }
            layout.endLayout();
        }
        for (qsizetype i = 0; i < wrapped.size(); ++i) {
            const bool more = i + 1 < wrapped.size() || p + 1 < paragraphs.size();
            if (lines.size() + 1 == maxLines && more) {
                // The last line that fits stands for everything after it.
                QString rest = wrapped.mid(i).join(QString());
                for (qsizetype q = p + 1; q < paragraphs.size(); ++q)
                    rest += QLatin1Char(' ') + paragraphs[q];
                lines.append(metrics.elidedText(rest.simplified(), Qt::ElideRight, width));
                return lines.join(QLatin1Char('\n'));
            }
            lines.append(wrapped[i].trimmed());
        }
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace MessageText
