#include "data_options/frm_pellet.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/frm_speed.h"
#include "main_window/option_group.h"
#include "main_window/panel_layout.h"
#include "shot/record_shot.h"
#include "test_app.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

using namespace panel_layout;

class TestSpeedDisplay : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void unitSwitchesConvertFiguresAndHeaders()
    {
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        m.optSpeed->select(2);
        QCOMPARE(m.Label5->text(), QStringLiteral("243.84"));
        QCOMPARE(m.MSFlexGrid2->FormatString().count(QStringLiteral("m/s")), 3);
        m.optSpeed->select(1);
        QCOMPARE(m.Label5->text(), QStringLiteral("800.00"));
        QCOMPARE(m.MSFlexGrid2->FormatString().count(QStringLiteral("fps")), 3);
        QCOMPARE(m.Label5->toolTip(), QStringLiteral("Velocity in Feet Per Second"));

        m.optPower->select(2);
        QCOMPARE(m.Label4->text(), QStringLiteral("Joules"));
        QCOMPARE(m.Label3->text(), QStringLiteral("16.27"));
        QCOMPARE(m.Label3->toolTip(), QStringLiteral("Power in Joules"));
        m.optPower->select(3);
        QCOMPARE(m.Label3->text(), QStringLiteral("6.8"));
        QCOMPARE(m.MSFlexGrid2->TextMatrix(0, 8), QStringLiteral("Av IPSC-F"));
        QCOMPARE(m.Label3->toolTip(), QStringLiteral("Power in IPSC-F"));
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 8), QStringLiteral("6.80"));
        m.optPower->select(1);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(0, 6), QStringLiteral("Min Ft.Lbf"));
    }

    void limitColourEdges_data()
    {
        QTest::addColumn<int>("gunType");
        QTest::addColumn<int>("powerUnit");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("red");
        QTest::newRow("pistol 6.00 ft.lbf") << 6 << 1 << "6.00" << false;
        QTest::newRow("pistol 6.01 ft.lbf") << 6 << 1 << "6.01" << true;
        QTest::newRow("pistol 8.13 J") << 6 << 2 << "8.13" << false;
        QTest::newRow("pistol 8.14 J") << 6 << 2 << "8.14" << true;
        QTest::newRow("rifle 12.01 ft.lbf") << 12 << 1 << "12.01" << true;
        QTest::newRow("other 9998.00") << 9999 << 1 << "9998.00" << false;
    }

    void limitColourEdges()
    {
        QFETCH(int, gunType);
        QFETCH(int, powerUnit);
        QFETCH(QString, caption);
        QFETCH(bool, red);
        TestApp app;
        frmMain& m = app.start();
        m.pellet().optType->select(gunType);
        m.optPower->select(powerUnit);
        m.setPowerCaption(caption);
        QCOMPARE(m.Label3->palette().color(QPalette::WindowText) == QColor(255, 0, 0), red);
    }

    void scalingArithmetic()
    {
        QCOMPARE(scaledFontSize(1.0, 32), 42);
        QCOMPARE(scaledFontSize(1.0, 8), 18);
        QCOMPARE(scaledFontSize(1.0, 1), 11);
        QCOMPARE(scaledFontSize(2.0, 32), 84);
        QCOMPARE(scaledFontSize(1.55, 32), 49 + 15);
        QCOMPARE(scaledFontSize(0.9, 32), kMinimumFontSize); // a readable size, not 0
        const Ratios r = ratios(8430, 5310, kDesignWidth, kDesignHeight);
        QCOMPARE(r.width, 2.0);
        QCOMPARE(r.height, 2.0);
        const ControlLayout s = scaled({3, 90, 270, 3000, 900}, r);
        QCOMPARE(s.left, 180);
        QCOMPARE(s.top, 540);
        QCOMPARE(s.width, 6000);
        QCOMPARE(s.height, 1800);
        QCOMPARE(scaled({0, 20000, 20000, 20000, 20000}, {3, 3}).width, 60000); // no 16-bit overflow
    }

    void undockingAndDocking()
    {
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
        TestApp app;
        frmMain& m = app.start();
        m.show();
        RecordShot(m, 800);
        const int height = m.height();
        const int frame = m.fmePower->height();
        m.btnMax_Click();
        frmSpeed* panel = m.visibleSpeedPanel();
        QVERIFY(panel);
        QVERIFY(!m.isEnabled());
        QVERIFY(!m.fmePower->isVisible());
        QVERIFY(m.height() < height && m.height() >= height - frame); // as far as the layout allows
        QCOMPARE(panel->windowTitle(), QStringLiteral("Speed/Power"));
        QCOMPARE(panel->Label5->text(), QStringLiteral("800.00"));
        QCOMPARE(panel->lblShotCount->text(), QStringLiteral("1"));
        QCOMPARE(panel->Label3->font().pointSize(), 42);
        QCOMPARE(panel->Label4->font().pointSize(), 18);
        QCOMPARE(panel->lblShot->font().pointSize(), 11);
        // Shots keep arriving while undocked and are copied to the panel.
        RecordShot(m, 900);
        QCOMPARE(panel->Label5->text(), QStringLiteral("900.00"));
        QCOMPARE(panel->lblShotCount->text(), QStringLiteral("2"));
        QCOMPARE(panel->Label3->palette().color(QPalette::WindowText), QColor(255, 0, 0));

        const QRect before = panel->Label3->geometry();
        panel->resize(panel->width() * 2, panel->height() * 2);
        QCOMPARE(panel->Label3->font().pointSize(), 84);
        QVERIFY(panel->Label3->geometry().width() >= before.width() * 2 - 2);
        const QRect large = panel->Label3->geometry();
        panel->resize(100, 60); // below the design size: nothing moves
        QCOMPARE(panel->Label3->geometry(), large);

        panel->close();
        QVERIFY(m.isEnabled());
        QVERIFY(m.fmePower->isVisibleTo(&m));
        QVERIFY(qAbs(m.height() - height) <= 1);
        QVERIFY(!m.visibleSpeedPanel());
    }
};

QTEST_MAIN(TestSpeedDisplay)
#include "tst_speed_display.moc"
