#include "TempTree.h"
#include "core/WindowAffinity.h"

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
        for (const QString& r : relatives)
            urls.append(folder(r));
        return urls;
    }

  private slots:
    void initTestCase() {
        tree_ = std::make_unique<TempTree>();
        for (const char* f : {"alpha", "beta/output", "beta-demo", "users/carol/site", "users/carol/carol"})
            tree_->folder(QString::fromUtf8(f));
        tree_->file("beta/.git/HEAD", "ref: refs/heads/main\n");
        tree_->file("beta/output/frame-01.png");
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", tree_->path("users/carol").toUtf8());
    }

    void cleanupTestCase() { qputenv("HOME", savedHome_); }

    void titleTokens_data() {
        QTest::addColumn<OptionalTitle>("title");
        QTest::addColumn<QStringList>("tokens");
        const auto row = [](const char* name, const OptionalTitle& title, const QStringList& tokens) {
            QTest::newRow(name) << title << tokens;
        };
        row("every separator", "* one \u2013 two - three | four \u00B7 five",
            {"one", "two", "three", "four", "five"});
        row("single characters are dropped", "a \u2014 b \u2014 cd", {"cd"});
        row("one emoji is one character", "\U0001F600 - beta", {"beta"});
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
        const auto row = [](const char* name, const QStringList& roots, const char* document,
                            const OptionalTitle& title, const QStringList& expected) {
            QTest::newRow(name) << roots << QString(document) << title << expected;
        };
        // The self-test covers title, whole-component, document and anonymous-window orders.
        row("a single root whatever the title", {"alpha"}, "", "beta", {"alpha"});
        row("named before same project", {"beta", "alpha"}, "beta/output/frame-01.png", "x.png \u2014 alpha",
            {"alpha", "beta"});
        row("home and its ancestors never survive",
            {"users/carol", "users", "users/carol/carol", "users/carol/site"}, "", "carol \u2014 users",
            {"users/carol/carol"});
        row("folders above home do not name a root inside it", {"users/carol/site", "alpha"}, "", "users",
            {"users/carol/site", "alpha"});
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
