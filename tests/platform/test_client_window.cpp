// The search for an application's window inside a window manager's frame, on
// made-up window trees shaped like those of real window managers.
#include "platform/x11/ClientWindow.h"

#include <QHash>
#include <QSet>
#include <QTest>

using namespace platform::x11;

namespace {

constexpr WindowId kRoot = 1;
constexpr WindowId kTop = 100; // the root's child under the pointer

struct FakeTree final : WindowTree {
    QHash<WindowId, QList<WindowId>> below; // bottom first
    QHash<WindowId, WindowId> above;
    QSet<WindowId> clients;
    QList<WindowId> stacking; // top first
    int asked = 0;            // windows asked about WM_STATE

    FakeTree() { add(kRoot, kTop); }
    void add(WindowId parent, WindowId child) {
        below[parent].append(child);
        above[child] = parent;
    }
    // A chain of windows from parent downwards, each the only child of the one before.
    WindowId chain(WindowId parent, WindowId first, int length) {
        for (int i = 0; i < length; ++i) {
            add(parent, first + WindowId(i));
            parent = first + WindowId(i);
        }
        return parent;
    }

    bool isClient(WindowId window) override {
        ++asked;
        return clients.contains(window);
    }
    std::optional<QList<WindowId>> children(WindowId window) override { return below.value(window); }
    std::optional<WindowId> parent(WindowId window) override {
        if (!above.contains(window)) return std::nullopt;
        return above.value(window);
    }
    QList<WindowId> clientsTopFirst() override { return stacking; }
};

using Builder = void (*)(FakeTree&);

} // namespace

Q_DECLARE_METATYPE(Builder)

class TestClientWindow : public QObject {
    Q_OBJECT

  private slots:
    void search_data() {
        QTest::addColumn<Builder>("build");
        QTest::addColumn<qulonglong>("expected"); // 0: none found

        // Openbox: 56 decoration windows in the frame, the client above them all.
        QTest::newRow("frame of 56 windows, client last") << Builder([](FakeTree& t) {
            for (WindowId w = 200; w < 255; ++w)
                t.add(kTop, w);
            t.add(kTop, 300);
            t.clients.insert(300);
        }) << qulonglong(300);
        QTest::newRow("client first, decorations above it") << Builder([](FakeTree& t) {
            t.add(kTop, 300);
            for (WindowId w = 200; w < 240; ++w)
                t.add(kTop, w);
            t.clients.insert(300);
        }) << qulonglong(300);
        QTest::newRow("nested frames") << Builder([](FakeTree& t) {
            const WindowId inner = t.chain(kTop, 200, 3);
            t.add(inner, 300);
            t.add(300, 301); // the application's own child windows
            t.clients.insert(300);
        }) << qulonglong(300);
        QTest::newRow("client with WM_STATE on a sibling's subtree") << Builder([](FakeTree& t) {
            t.add(kTop, 200);
            t.add(200, 201);
            t.add(kTop, 210);
            t.add(210, 300);
            t.clients.insert(300);
        }) << qulonglong(300);
        // i3 and other tiling managers that leave the client on the root: it is the top-level window.
        QTest::newRow("unreparented client") << Builder([](FakeTree& t) {
            t.add(kTop, 101);
            t.clients.insert(kTop);
            t.stacking = {kTop};
        }) << qulonglong(kTop);
        QTest::newRow("no window manager: nothing carries WM_STATE") << Builder([](FakeTree& t) {
            t.add(kTop, 101);
            t.add(101, 102);
        }) << qulonglong(0);
        QTest::newRow("a window manager's own window, complete search") << Builder([](FakeTree& t) {
            t.add(kTop, 101);
            t.add(kRoot, 500);
            t.add(500, 501);
            t.clients.insert(501);
            t.stacking = {501};
        }) << qulonglong(0);
        QTest::newRow("client deeper than the search: found through the client list")
            << Builder([](FakeTree& t) {
                   const WindowId deep = t.chain(kTop, 200, kClientDepth);
                   t.add(deep, 300);
                   t.clients.insert(300);
                   t.add(kRoot, 500);
                   t.add(500, 501);
                   t.clients.insert(501);
                   t.stacking = {501, 300};
               })
            << qulonglong(300);
        QTest::newRow("subtree too large: found through the client list") << Builder([](FakeTree& t) {
            for (WindowId w = 1000; w < 1000 + kMostSubtreeWindows; ++w)
                t.add(kTop, w);
            t.add(kTop, 300);
            t.below[kTop].move(t.below[kTop].size() - 1, 0); // the client at the bottom
            t.clients.insert(300);
            t.stacking = {300};
        }) << qulonglong(300);
        QTest::newRow("search cut short, listed clients belong to other frames") << Builder([](FakeTree& t) {
            for (WindowId w = 1000; w < 1000 + kMostSubtreeWindows + 1; ++w)
                t.add(kTop, w);
            t.add(kRoot, 500);
            t.add(500, 501);
            t.clients.insert(501);
            t.stacking = {501};
        }) << qulonglong(0);
        QTest::newRow("top-level window vanished") << Builder([](FakeTree& t) {
            t.below.remove(kTop);
            t.stacking = {300};
        }) << qulonglong(0);
    }

    void search() {
        QFETCH(Builder, build);
        QFETCH(qulonglong, expected);
        FakeTree tree;
        build(tree);
        const std::optional<WindowId> client = clientWindow(tree, kTop);
        QCOMPARE(qulonglong(client.value_or(0)), expected);
        QVERIFY(tree.asked <= kMostSubtreeWindows);
    }

    // The topmost child is looked at first: under openbox the client is found
    // without asking about every decoration window.
    void topmostChildFirst() {
        FakeTree tree;
        for (WindowId w = 200; w < 255; ++w)
            tree.add(kTop, w);
        tree.add(kTop, 300);
        tree.clients.insert(300);
        QCOMPARE(clientWindow(tree, kTop), std::optional<WindowId>(300));
        QCOMPARE(tree.asked, 2);
    }
};

QTEST_GUILESS_MAIN(TestClientWindow)
#include "test_client_window.moc"
