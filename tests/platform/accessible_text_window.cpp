// A small terminal-like window for the accessibility tests: it runs CMD in DIR, shows
// its output in a read-only text view that publishes its text, and keeps the shell
// alive so DIR is among the window's process roots.
//   accessible_text_window --folder DIR --command CMD [--needle TEXT]... [--caption T]
// Once the output holds every needle it prints "needle N X Y" (global position of the
// needle's third character), "after X Y" (right of the first line, no text), "ready".
#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QProcess>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"folder", "working folder of the shell", "dir"});
    parser.addOption({"command", "shell command whose output is shown", "cmd"});
    parser.addOption({"needle", "text whose position is reported", "text"});
    // Not "--title": Qt's X11 plugin takes that one for itself.
    parser.addOption({"caption", "window title", "title", "Vistel accessible text"});
    parser.process(app);

    // A rich text view: the plain text view answers no character for a point.
    QTextEdit view;
    view.setReadOnly(true);
    view.setAcceptRichText(false);
    view.setLineWrapMode(QTextEdit::NoWrap);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(16);
    view.setFont(font);
    view.setWindowTitle(parser.value("caption"));
    view.setGeometry(40, 40, 900, 300);
    view.show();

    QProcess shell;
    shell.setWorkingDirectory(parser.value("folder"));
    shell.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList needles = parser.values("needle");
    bool reported = false;
    QObject::connect(&shell, &QProcess::readyRead, &view, [&] {
        view.moveCursor(QTextCursor::End);
        view.insertPlainText(QString::fromUtf8(shell.readAll()));
        view.ensureCursorVisible(); // follow the output, as a terminal does
        if (reported) return;
        const QString text = view.toPlainText();
        for (const QString& needle : needles)
            if (!text.contains(needle)) return;
        reported = true;
        // Let the view lay the text out and the window settle before measuring.
        QTimer::singleShot(300, &view, [&view, needles] {
            const auto global = [&view](int position) {
                QTextCursor cursor(view.document());
                cursor.setPosition(position);
                return view.viewport()->mapToGlobal(view.cursorRect(cursor).center() + QPoint(4, 0));
            };
            const QString text = view.toPlainText();
            for (qsizetype i = 0; i < needles.size(); ++i) {
                const QPoint p = global(int(text.indexOf(needles[i])) + 2);
                std::printf("needle %d %d %d\n", int(i), p.x(), p.y());
            }
            const QTextBlock first = view.document()->firstBlock();
            const QPoint end = global(first.position() + first.length() - 1);
            std::printf("after %d %d\nready\n", end.x() + 200, end.y());
            std::fflush(stdout);
        });
    });
    // The shell prints, then stays in the folder (as an interactive one would).
    shell.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), parser.value("command") + QStringLiteral("; while :; do sleep 1; done")});
    const int status = app.exec();
    shell.kill();
    shell.waitForFinished(1000);
    return status;
}
