// Where windows go: room for a window manager's frame, the user's screen kept, no re-placing on
// restore; Enter presses push buttons only.
#include "closing_dialog.h"
#include "window_placement.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QShowEvent>
#include <QTest>
#include <QVBoxLayout>

namespace {
class Probe : public ClosingDialog {
public:
    Probe() : ClosingDialog(nullptr)
    {
        auto* layout = new QVBoxLayout(this);
        radio = new QRadioButton(QStringLiteral("Chrony"), this);
        check = new QCheckBox(QStringLiteral("Keep"), this);
        ok = new QPushButton(QStringLiteral("Save"), this);
        layout->addWidget(radio);
        layout->addWidget(check);
        layout->addWidget(ok);
        setDefaultButton(ok);
    }
    QRadioButton* radio;
    QCheckBox* check;
    QPushButton* ok;
};
} // namespace

class TestWindowPlacement : public QObject {
    Q_OBJECT
private slots:
    // Before a window manager has decorated a window its frame is unknown: a title bar's worth of
    // room is kept, so a window as tall as the screen does not end below it.
    void roomIsLeftForTheFrame()
    {
        const QRect area(0, 0, 1024, 768);
        const QSize extra = placement::frameExtraOf(QSize(600, 800), QSize(600, 800));
        QCOMPARE(extra, QSize(placement::kFrameAllowanceWidth, placement::kFrameAllowanceHeight));
        const QRect r = placement::placed(area, QSize(600, 800), extra, QRect(), placement::Mode::Centre);
        QVERIFY(r.top() >= 0);
        QVERIFY(r.top() + r.height() + extra.height() <= 768);
        QCOMPARE(placement::frameExtraOf(QSize(610, 830), QSize(600, 800)), QSize(10, 30)); // as reported
        // Kept where the user put it while it fits; moved back inside only as far as needed.
        const QRect kept = placement::placed(area, QSize(300, 200), QSize(10, 30), QRect(100, 50, 310, 230),
                                             placement::Mode::KeepInside);
        QCOMPARE(kept.topLeft(), QPoint(100, 50));
        const QRect inside = placement::placed(area, QSize(300, 200), QSize(10, 30), QRect(900, 700, 310, 230),
                                               placement::Mode::KeepInside);
        QCOMPARE(inside.topLeft(), QPoint(1024 - 310, 768 - 230));
    }

    // A window shown again stays where the user put it (not pulled back to its owner's screen
    // or centred again), as long as it is inside its screen.
    void aWindowShownAgainStaysWhereTheUserPutIt()
    {
        Probe probe;
        probe.show();
        QVERIFY(QTest::qWaitForWindowExposed(&probe));
        const QPoint userPlace = probe.pos() + QPoint(13, 17);
        probe.move(userPlace);
        probe.hide();
        probe.show();
        QCOMPARE(probe.pos(), userPlace);
    }

    void enterNeverTogglesARadioButtonOrCheckBox()
    {
        Probe probe;
        int saves = 0;
        connect(probe.ok, &QPushButton::clicked, this, [&] { ++saves; });
        probe.show();
        QVERIFY(QTest::qWaitForWindowExposed(&probe));
        for (QAbstractButton* b :
             {static_cast<QAbstractButton*>(probe.radio), static_cast<QAbstractButton*>(probe.check)}) {
            b->setFocus();
            QTest::keyClick(b, Qt::Key_Return);
            QTest::qWait(300); // an animated click would have landed by now
            QVERIFY(!b->isChecked());
        }
        QCOMPARE(saves, 2); // the declared default button is what Enter presses
        probe.ok->setFocus();
        QTest::keyClick(probe.ok, Qt::Key_Return);
        QTRY_COMPARE(saves, 3);
    }
};

QTEST_MAIN(TestWindowPlacement)
#include "tst_window_placement.moc"
