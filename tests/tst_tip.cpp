#include "data_options/frm_pellet.h"
#include "main_window/frm_main.h"
#include "services/frm_tip.h"
#include "storage/settings_store.h"
#include "test_app.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestTip : public QObject {
    Q_OBJECT
private slots:
    void init() { TestApp::clearSettings(); }

    void shownByDefault()
    {
        TestApp app;
        frmMain& m = app.start();
        frmTip* tip = new frmTip(m);
        QVERIFY(tip->Form_Load());
        QVERIFY(!m.isEnabled());
        QVERIFY(tip->isEnabled());
        QVERIFY(tip->chkLoadTipsAtStartup->isChecked());
        QVERIFY(m.pellet().chkTips->isChecked());
        QVERIFY(app.store.tips().contains(tip->lblTipText->text()));
        tip->Label2_Click();
        QCOMPARE(app.urlOpener.opened.last().toString(), QStringLiteral("http://velmora.invalid/tips.php"));
        tip->chkLoadTipsAtStartup->click();
        QCOMPARE(settings::read(settings::kShowTips), QStringLiteral("0"));
        QVERIFY(m.pellet().chkTips->isChecked()); // the other box is not updated
        tip->cmdOK->click();
        QVERIFY(m.isEnabled());
    }

    void switchedOff()
    {
        TestApp::setSetting(QStringLiteral("ShowTips"), 0);
        TestApp app;
        frmMain& m = app.start();
        frmTip* tip = new frmTip(m);
        QVERIFY(!tip->Form_Load());
        QVERIFY(m.isEnabled());
        QVERIFY(!m.pellet().chkTips->isChecked());
    }

    void emptyAndSingleTipTables()
    {
        TestApp app;
        frmMain& m = app.start();
        QVERIFY(app.store.storeDatabase.exec(QStringLiteral("DELETE FROM Tips")).isActive());
        frmTip* tip = new frmTip(m);
        QVERIFY(tip->Form_Load());
        QCOMPARE(tip->lblTipText->text(), QStringLiteral("Tips not found? \r\n\r\n"));
        tip->cmdNextTip->click();
        QCOMPARE(tip->lblTipText->text(), QStringLiteral("Tips not found? \r\n\r\n"));
        tip->close();
        QVERIFY(app.store.storeDatabase.exec(QStringLiteral("INSERT INTO Tips VALUES ('Only this one')")).isActive());
        tip = new frmTip(m);
        QVERIFY(tip->Form_Load());
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(tip->lblTipText->text(), QStringLiteral("Only this one"));
            tip->cmdNextTip->click();
        }
        tip->close();
    }

    void everyTipCanCome()
    {
        TestApp app;
        frmMain& m = app.start();
        frmTip* tip = new frmTip(m);
        QVERIFY(tip->Form_Load());
        QSet<int> seen;
        for (int i = 0; i < 2000; ++i) {
            tip->PickRandomTip();
            seen.insert(tip->currentTip());
        }
        QCOMPARE(seen.size(), app.store.tips().size());
        tip->close();
    }
};

QTEST_MAIN(TestTip)
#include "tst_tip.moc"
