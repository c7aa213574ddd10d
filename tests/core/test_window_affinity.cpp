#include "core/WindowAffinity.h"

#include "TempTree.h"

#include <QTest>

#include <memory>

using OptionalTitle = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalTitle)

class TestWindowAffinity : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;
    QByteArray savedHome_;

    QUrl folder(const QString& relative) const {
        return QUrl::fromLocalFile(tree_->path(relative) + QLatin1Char('/'));
    }

    QList<QUrl> folders(const QStringList& relatives) const {
        QList<QUrl> urls;
        for (const QString& r : relatives) urls.append(folder(r));
        return urls;
    }

private slots:
    void initTestCase() {
        tree_ = std::make_unique<TempTree>();
        for (const char* f : {"alpha", "beta/output", "beta-demo", "users/carol/site", "users/carol/carol"})
            tree_->folder(QString::fromUtf8(f));
        tree_->file("beta/.git/HEAD", "ref: refs/heads/main\n");
        tree_->file("beta/output/frame-01.png");
        // A home folder of our own, so the test knows what lies above and below it.
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", tree_->path("users/carol").toUtf8());
    }

    void cleanupTestCase() { qputenv("HOME", savedHome_); }

    void titleTokens_data() {
        QTest::addColumn<OptionalTitle>("title");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("file and folder")
            << OptionalTitle("main.tsx \u2014 beta") << QStringList{"main.tsx", "beta"};
        QTest::newRow("unsaved marker and workspace suffix")
            << OptionalTitle("\u25CF x.ts \u2014 beta-demo (Workspace)") << QStringList{"x.ts", "beta-demo"};
        QTest::newRow("application name lower-cased")
            << OptionalTitle("beta \u2014 Visual Studio Code") << QStringList{"beta", "visual studio code"};
        QTest::newRow("anonymous workspace")
            << OptionalTitle("Untitled (Workspace)") << QStringList{"untitled"};
        QTest::newRow("absent") << OptionalTitle() << QStringList{};
        QTest::newRow("every separator")
            << OptionalTitle("* one \u2013 two - three | four \u00B7 five")
            << QStringList{"one", "two", "three", "four", "five"};
        QTest::newRow("single characters are dropped")
            << OptionalTitle("a \u2014 b \u2014 cd") << QStringList{"cd"};
        QTest::newRow("one emoji is one character")
            << OptionalTitle("\U0001F600 - beta") << QStringList{"beta"};
    }

    void titleTokens() {
        QFETCH(OptionalTitle, title);
        QFETCH(QStringList, tokens);
        const QSet<QString> expected(tokens.cbegin(), tokens.cend());
        QCOMPARE(WindowAffinity::titleTokens(title), expected);
    }

    void order_data() {
        QTest::addColumn<QStringList>("roots");
        QTest::addColumn<QString>("document"); // relative to the tree; empty for none
        QTest::addColumn<OptionalTitle>("title");
        QTest::addColumn<QStringList>("expected");

        const QStringList siblings{"alpha", "beta", "beta-demo"};
        QTest::newRow("title names one of three siblings")
            << siblings << "" << OptionalTitle("main.tsx \u2014 beta") << QStringList{"beta"};
        QTest::newRow("whole components only: beta-demo, not beta")
            << siblings << "" << OptionalTitle("\u25CF x.ts \u2014 beta-demo (Workspace)")
            << QStringList{"beta-demo"};
        QTest::newRow("document inside the project: deepest ancestor first")
            << QStringList{"alpha", "beta", "beta/output"} << "beta/output/frame-01.png" << OptionalTitle()
            << QStringList{"beta/output", "beta"};
        QTest::newRow("anonymous window changes nothing")
            << QStringList{"beta", "alpha"} << "" << OptionalTitle("Untitled (Workspace)")
            << QStringList{"beta", "alpha"};
        QTest::newRow("a single root whatever the title")
            << QStringList{"alpha"} << "" << OptionalTitle("beta") << QStringList{"alpha"};
        QTest::newRow("an empty list") << QStringList{} << "" << OptionalTitle("beta") << QStringList{};
        QTest::newRow("the window's folder wins over a newer shell")
            << QStringList{"alpha", "beta"} << "" << OptionalTitle("beta \u2014 Visual Studio Code")
            << QStringList{"beta"};
        QTest::newRow("named before same project")
            << QStringList{"beta", "alpha"} << "beta/output/frame-01.png"
            << OptionalTitle("x.png \u2014 alpha") << QStringList{"alpha", "beta"};
        QTest::newRow("home and its ancestors never survive")
            << QStringList{"users/carol", "users", "users/carol/carol", "users/carol/site"} << ""
            << OptionalTitle("carol \u2014 users") << QStringList{"users/carol/carol"};
        QTest::newRow("folders above home do not name a root inside it")
            << QStringList{"users/carol/site", "alpha"} << "" << OptionalTitle("users")
            << QStringList{"users/carol/site", "alpha"};
    }

    void order() {
        QFETCH(QStringList, roots);
        QFETCH(QString, document);
        QFETCH(OptionalTitle, title);
        QFETCH(QStringList, expected);
        const QUrl doc = document.isEmpty() ? QUrl() : tree_->url(document);
        QCOMPARE(WindowAffinity::order(folders(roots), doc, title), folders(expected));
    }
};

QTEST_APPLESS_MAIN(TestWindowAffinity)
#include "test_window_affinity.moc"
