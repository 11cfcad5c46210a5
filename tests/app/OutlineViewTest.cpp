// The notification centre, and the outline view that relays its own selection changes.
#include <QStandardItemModel>
#include <QTest>

#include "app/customOutlineView.h"

using namespace bextkit;
using Senders = QList<const void*>;

// Keeps the senders of the notifications named `name` from `sender` (null: any) while it lives.
struct Heard : Senders {
  Heard(std::string_view name, const void* sender) {
    NotificationCenter::defaultCenter().addObserver(
        this, name, sender, [this](const Notification& n) { append(n.sender); });
  }
  ~Heard() { NotificationCenter::defaultCenter().removeObserver(this); }
};

class OutlineViewTest : public QObject {
  Q_OBJECT
  QStandardItemModel model{3, 1};

 private slots:
  void centreMatchesSendersAndSkipsObserversRemovedDuringPost() {
    NotificationCenter& centre = NotificationCenter::defaultCenter();
    int a = 0, b = 0, calls = 0;
    const Heard any("n", nullptr), fromA("n", &a);
    for (const void* sender : {&b, &a}) centre.post("n", sender);
    QCOMPARE(any, (Senders{&b, &a}));
    QCOMPARE(fromA, Senders{&a});
    // The first observer removes the second before its turn.
    centre.addObserver(&a, "r", nullptr, [&](auto&) {
      centre.removeObserver(&b);
      ++calls;
    });
    centre.addObserver(&b, "r", nullptr, [&](auto&) { ++calls; });
    centre.post("r", nullptr);
    centre.removeObserver(&a);
    QCOMPARE(calls, 1);
  }
  void relaysEachOwnChangeOnceWhenWoken_data() {
    QTest::addColumn<int>("wakes");
    QTest::newRow("made in code") << 0;
    QTest::newRow("woken") << 1;
    QTest::newRow("woken twice") << 2;
  }
  void relaysEachOwnChangeOnceWhenWoken() {
    QFETCH(int, wakes);
    customOutlineView view, other;
    for (int i = 0; i < wakes; ++i) view.awakeFromNib();
    other.awakeFromNib();
    const Heard outline(kOutlineViewSelectionDidChange, &view);
    const Heard table(kTableViewSelectionDidChange, nullptr);
    view.setModel(&model);  // installing a model changes no selection
    other.setModel(&model);
    view.setCurrentIndex(model.index(0, 0));
    other.setCurrentIndex(model.index(0, 0));
    view.setCurrentIndex(model.index(1, 0));
    QCOMPARE(outline, (Senders{&view, &view}));
    QCOMPARE(table, (wakes > 0 ? Senders{&view, &other, &view} : Senders{&other}));
  }
  void destroyedViewLeavesNoObserver() {
    const Heard table(kTableViewSelectionDidChange, nullptr);
    auto* view = new customOutlineView;
    view->awakeFromNib();
    const void* const gone = view;
    delete view;
    NotificationCenter::defaultCenter().post(kOutlineViewSelectionDidChange, gone);
    QVERIFY(table.isEmpty());
  }
};

QTEST_MAIN(OutlineViewTest)
#include "OutlineViewTest.moc"
