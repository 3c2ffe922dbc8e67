#include "data_options/frm_pellet.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "shot/record_shot.h"
#include "storage/settings_store.h"
#include "test_app.h"
#include "widget_helpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

void choose(QComboBox* list, const QString& text)
{
    const int row = list->findText(text);
    QVERIFY2(row >= 0, qPrintable(text));
    list->setCurrentIndex(row);
    emit list->activated(row);
}
} // namespace

class TestDataOptions : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void gunTypeFiltersTheMakes()
    {
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        QVERIFY(app.store.replaceTables({}, {{"Acme", "Rifle1", 0}, {"Bolt", "Pistol1", 1}, {"Acme", "Pistol2", 1},
                                             {"Crest", "Rifle2", 0}})
                    .isEmpty());
        p.optType->select(12);
        QCOMPARE(settings::read(settings::kOptType), QStringLiteral("12"));
        QCOMPARE(entries(p.lstGunMake).size(), 2);
        QVERIFY(!p.lstGunModel->isEnabled());
        QCOMPARE(p.lstGunModel->count(), 0);
        p.optType->select(6);
        QStringList pistolMakes = entries(p.lstGunMake);
        pistolMakes.sort();
        QCOMPARE(pistolMakes, QStringList({"Acme", "Bolt"}));
        choose(p.lstGunMake, QStringLiteral("Acme"));
        QVERIFY(p.lstGunModel->isEnabled());
        QCOMPARE(entries(p.lstGunModel), QStringList({"Pistol2"}));
        p.txtMake->setText(QStringLiteral("Typed"));
        choose(p.lstGunModel, QStringLiteral("Pistol2"));
        QCOMPARE(p.txtModel->text(), QStringLiteral("Pistol2"));
        QCOMPARE(p.txtMake->text(), QStringLiteral("Acme")); // the make list's text wins
        QCOMPARE(m.lblSelGun->text(), QStringLiteral("Acme Pistol2"));
        QCOMPARE(settings::read(settings::kTxtMake), QStringLiteral("Acme"));
        p.optType->select(9999);
        QCOMPARE(entries(p.lstGunMake).size(), 3);
        QVERIFY(!p.lstGunModel->isEnabled());
    }

    void pickingAProjectileFillsItsFields()
    {
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        QVERIFY(app.store.replaceTables({{0, "JSB Exact", 0.177, 0.547}, {0, "Big", 0.25, 2.2}}, {}).isEmpty());
        p.fillCalibres();
        QCOMPARE(entries(p.lstCal), QStringList({"0.177", "0.25"}));
        choose(p.lstCal, QStringLiteral("0.177"));
        QCOMPARE(entries(p.lstPelletStore), QStringList({"JSB Exact 0.177"}));
        choose(p.lstPelletStore, QStringLiteral("JSB Exact 0.177"));
        QCOMPARE(p.txtPelletMake->text(), QStringLiteral("JSB Exact"));
        QCOMPARE(p.txtCaliber->text(), QStringLiteral("0.177"));
        QCOMPARE(p.txtWeight->text(), QStringLiteral("8.442")); // grains selected
        QCOMPARE(m.lblSelProjectile->text(), QStringLiteral("JSB Exact 0.177 - 8.442 Grains"));
        p.selWeight->select(0);
        QCOMPARE(p.txtWeight->text(), QStringLiteral("0.547"));
        choose(p.lstPelletStore, QStringLiteral("JSB Exact 0.177"));
        QCOMPARE(p.txtWeight->text(), QStringLiteral("0.547"));
    }

    void unitSwitchesConvertAndRelabel()
    {
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.442"));
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        p.selWeight->select(0);
        QCOMPARE(p.txtWeight->text(), QStringLiteral("0.547"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(0, 3), QStringLiteral("Grammes"));
        QCOMPARE(m.MSFlexGrid1->ColWidth(3), 800);
        QCOMPARE(settings::read(settings::kSelWeight), QStringLiteral("0"));
        p.selWeight->select(1);
        QCOMPARE(p.txtWeight->text(), QStringLiteral("8.442"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(0, 3), QStringLiteral("Grains"));
        // No number, no conversion and no message.
        p.txtWeight->setText(QStringLiteral("heavy"));
        const qsizetype shown = app.prompt.shown.size();
        p.selWeight->select(0);
        QCOMPARE(p.txtWeight->text(), QStringLiteral("heavy"));
        QCOMPARE(app.prompt.shown.size(), shown);
        p.txtAddWeight->setText(QStringLiteral("8.442"));
        p.selAddWeight->select(0);
        QCOMPARE(p.txtAddWeight->text(), QStringLiteral("0.547"));
    }

    void theStoredGrammeWeightIsKeptAtStartUp()
    {
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("0.547"));
        TestApp::setSetting(QStringLiteral("selWeight"), 0);
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(m.pellet().txtWeight->text(), QStringLiteral("0.547"));
        QVERIFY(m.pellet().selWeight->isSelected(0));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(0, 3), QStringLiteral("Grammes"));
        RecordShot(m, 800);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 3), QStringLiteral("0.547"));
        QVERIFY(m.Text1->Text().contains(QStringLiteral("\t8.442\t")));
    }

    void weightChecksOnLeaving()
    {
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        p.txtWeight->setText(QString());
        QVERIFY(!p.checkWeight(p.txtWeight));
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Please Enter a value for weight."));
        QVERIFY(app.prompt.shown.last().icon == Prompt::Icon::Critical);
        p.txtWeight->setText(QStringLiteral("-1"));
        QVERIFY(!p.checkWeight(p.txtWeight));
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Please Enter a positive weight."));
        p.txtWeight->setText(QStringLiteral("0"));
        QVERIFY(p.checkWeight(p.txtWeight));
        p.txtAddWeight->setText(QString());
        QVERIFY(!p.checkWeight(p.txtAddWeight));
        // The check runs when the focus moves on inside the window, not when another application
        // takes it.
        const qsizetype messages = app.prompt.shown.size();
        QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(p.txtWeight, &away);
        QCOMPARE(app.prompt.shown.size(), messages);
        p.txtWeight->setText(QString());
        QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(p.txtWeight, &tab);
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Please Enter a value for weight."));
    }

    void gunTypeRecoloursThePower()
    {
        TestApp::setSetting(QStringLiteral("optType"), 9999);
        TestApp app;
        frmMain& m = app.start();
        m.setPowerCaption(QStringLiteral("13.0"));
        const QColor normal = m.Label3->palette().color(QPalette::WindowText);
        QVERIFY(normal != QColor(255, 0, 0));
        m.pellet().optType->select(12);
        QCOMPARE(m.Label3->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        m.pellet().optType->select(9999);
        QCOMPARE(m.Label3->palette().color(QPalette::WindowText), normal);
    }

    void tipsExtraTextAndClose()
    {
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        p.chkTips->setChecked(false);
        QCOMPARE(settings::read(settings::kShowTips), QStringLiteral("0"));
        p.chkTips->setChecked(true);
        QCOMPARE(settings::read(settings::kShowTips), QStringLiteral("1"));
        p.txtExtraInfo->setPlainText(QString(600, u'x'));
        QCOMPARE(p.txtExtraInfo->toPlainText().size(), 500);
        m.lblGun_Click();
        QVERIFY(!m.isEnabled());
        QVERIFY(p.isVisible());
        m.session().Timer1->stop();
        p.btnPelletApply_Click();
        QVERIFY(m.isEnabled());
        QVERIFY(!p.isVisible());
        QVERIFY(m.session().Timer1->isActive());
        QCOMPARE(p.onlineControls().size(), 11);
    }
};

QTEST_MAIN(TestDataOptions)
#include "tst_data_options.moc"
