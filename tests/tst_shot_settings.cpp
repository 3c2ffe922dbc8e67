// The settings a shot is recorded with: the value itself, and the windows that keep it current.
#include "data_options/frm_pellet.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "services/app_error.h"
#include "shot/record_shot.h"
#include "shot/shot_settings.h"
#include "storage/pellet_store.h"
#include "string/shot_string.h"
#include "test_app.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

namespace {

int errorOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const AppError& e) {
        return e.number();
    }
    return 0;
}

void typeInto(QLineEdit* box, const QString& text)
{
    box->clear();
    QTest::keyClicks(box, text);
}

// A row's cells without the date and time, which the clock gives.
QStringList cellsBesideTheTime(frmMain& m, int row)
{
    QStringList cells = m.MSFlexGrid1->RowCells(row);
    cells.removeAt(1);
    return cells;
}

QString lastListLineBesideTheTime(frmMain& m)
{
    QStringList lines = m.Text1->Text().split(QStringLiteral("\r\n"));
    lines.removeLast();
    QStringList fields = lines.last().split(u'\t');
    fields.removeAt(1);
    return fields.join(u'\t');
}

bool red(QLabel* label)
{
    return label->palette().color(QPalette::WindowText) == QColor(255, 0, 0);
}

} // namespace

class TestShotSettings : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void theWeightFollowsItsTextUnitAndLocale()
    {
        ShotSettings s;
        QCOMPARE(s.weightInGrains(), 1.0); // the Data Options window's first weight
        s.setWeight(QStringLiteral("0.547"), true);
        QCOMPARE(s.weightInGrains(), 8.442); // rounded to three decimals
        QCOMPARE(s.weightWord(), QStringLiteral("Grammes"));
        s.setGrammes(false);
        QCOMPARE(s.weightInGrains(), 0.547);
        QCOMPARE(s.weightWord(), QStringLiteral("Grains"));

        // A failure is given every time it is asked, as the text would give it.
        s.setWeightText(QStringLiteral("heavy"));
        QCOMPARE(errorOf([&] { s.weightInGrains(); }), int(AppError::TypeMismatch));
        QCOMPARE(errorOf([&] { s.weightInGrains(); }), int(AppError::TypeMismatch));
        s.setWeight(QStringLiteral("1e308"), true);
        QCOMPARE(errorOf([&] { s.weightInGrains(); }), int(AppError::Overflow));

        // The same text reads otherwise under another decimal separator.
        s.setWeight(QStringLiteral("0,547"), true);
        QCOMPARE(errorOf([&] { s.weightInGrains(); }), int(AppError::TypeMismatch));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(s.weightInGrains(), 8.442);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        QCOMPARE(errorOf([&] { s.weightInGrains(); }), int(AppError::TypeMismatch));

        s.gunMake = QStringLiteral("Weihrauch");
        s.gunModel = QStringLiteral("HW100");
        s.projectileMake = QStringLiteral("JSB Exact");
        QCOMPARE(s.makeModel(), QStringLiteral("Weihrauch HW100 JSB Exact"));
    }

    void storedSettingsReachTheFirstShot()
    {
        TestApp::setSetting(QStringLiteral("txtMake"), QStringLiteral("Weihrauch"));
        TestApp::setSetting(QStringLiteral("txtModel"), QStringLiteral("HW100"));
        TestApp::setSetting(QStringLiteral("txtPelletMake"), QStringLiteral("JSB Exact"));
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("0.7"));
        TestApp::setSetting(QStringLiteral("selWeight"), 0);
        TestApp::setSetting(QStringLiteral("optType"), 12);
        TestApp::setSetting(QStringLiteral("optSpeed"), 2);
        TestApp::setSetting(QStringLiteral("optPower"), 2);
        TestApp app;
        frmMain& m = app.start();
        const ShotSettings& s = m.shotSettings();
        QCOMPARE(s.makeModel(), QStringLiteral("Weihrauch HW100 JSB Exact"));
        QCOMPARE(s.weightText(), QStringLiteral("0.7")); // not converted by the restored unit
        QVERIFY(s.grammes());
        QCOMPARE(s.gunType, 12);
        QCOMPARE(s.speedIndex, 2);
        QCOMPARE(s.powerIndex, 2);

        app.serial->feed("1,Vf800.0\r\n");
        QCOMPARE(cellsBesideTheTime(m, 1), QStringList({"1", "Weihrauch HW100 JSB Exact", "0.7", "800.00", "243.84",
                                                        "15.36", "20.82", "8.6"}));
        QCOMPARE(lastListLineBesideTheTime(m),
                 QStringLiteral("1\tWeihrauch HW100 JSB Exact\t10.803\t800.00\t243.84\t15.36\t20.82\t8.6"));
        QCOMPARE(m.Label5->text(), QStringLiteral("243.84")); // m/s
        QCOMPARE(m.Label3->text(), QStringLiteral("20.82"));  // joules
        QVERIFY(red(m.Label3)); // above a rifle's 12 ft·lbf in joules
        QCOMPARE(TestApp::cacheRows().value(0).value(2), QStringLiteral("10.803"));
    }

    void anEditedFieldReachesTheNextShot()
    {
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        typeInto(p.txtMake, QStringLiteral("Weihrauch"));
        typeInto(p.txtModel, QStringLiteral("HW100"));
        typeInto(p.txtPelletMake, QStringLiteral("Air Arms Field"));
        typeInto(p.txtWeight, QStringLiteral("10.5"));
        app.serial->feed("1,Vf800.0\r\n");
        QCOMPARE(cellsBesideTheTime(m, 1), QStringList({"1", "Weihrauch HW100 Air Arms Field", "10.5", "800.00",
                                                        "243.84", "14.93", "20.24", "8.4"}));

        // A look-up in the local database fills the fields without a key being pressed.
        const auto projectiles = app.store.projectilesOfCalibre(QStringLiteral("0.177"));
        QVERIFY(!projectiles.empty());
        p.lstCal->setCurrentIndex(p.lstCal->findText(QStringLiteral("0.177")));
        p.lstCal_Click();
        p.lstPelletStore->setCurrentIndex(0);
        p.lstPelletStore_Click();
        QCOMPARE(m.shotSettings().projectileMake, p.txtPelletMake->text());
        QCOMPARE(m.shotSettings().weightText(), p.txtWeight->text());
        app.serial->feed("2,Vf790.0\r\n");
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 2), QStringLiteral("Weihrauch HW100 ") + p.txtPelletMake->text());
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 3), p.txtWeight->text());
        QCOMPARE(TestApp::cacheRows().value(1).value(2), p.txtWeight->text());
    }

    void aWeightThatIsNotANumberStopsEveryPathAtItsFigures()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        const double energy = m.session().last_ftlb;
        typeInto(m.pellet().txtWeight, QStringLiteral("heavy"));
        QCOMPARE(errorOf([&] { RecordShot(m, 812.5); }), int(AppError::TypeMismatch));
        QCOMPARE(m.session().last_fps, 812.5); // taken before the weight
        QCOMPARE(m.session().last_ftlb, energy);
        QCOMPARE(errorOf([&] { RecordDumpedShot(m, 813); }), int(AppError::TypeMismatch));
        QCOMPARE(errorOf([&] { ReplayCachedShot(m, 814, 1796517000, 9); }), int(AppError::TypeMismatch));
        QCOMPARE(errorOf([&] { ReplayCachedShots(m, {PelletStore::CachedShot{9, 1796517000, 815, QStringLiteral("1"), 1}}); }),
                 int(AppError::TypeMismatch));
        QCOMPARE(m.session().last_fps, 815.0);
        QCOMPARE(m.session().shot_count, qint16(1));
        QCOMPARE(m.string().size(), 1);
        QCOMPARE(TestApp::cacheRows().size(), 1);
        QCOMPARE(m.Label5->text(), QStringLiteral("800.00"));

        // Mended, the next line is a shot again.
        typeInto(m.pellet().txtWeight, QStringLiteral("12"));
        app.serial->feed("2,Vf800.0\r\n");
        QCOMPARE(m.string().size(), 2);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 6), QStringLiteral("17.06"));
    }

    void unitSwitchesReachTheNextShot()
    {
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.442"));
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();

        p.selWeight->select(0); // the text is converted with the unit
        QCOMPARE(m.shotSettings().weightText(), QStringLiteral("0.547"));
        m.optSpeed->select(2);
        m.optPower->select(3);
        RecordShot(m, 800);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 3), QStringLiteral("0.547"));
        QCOMPARE(m.Label5->text(), QStringLiteral("243.84"));
        QCOMPARE(m.Label3->text(), QStringLiteral("6.8"));
        QCOMPARE(m.string().units().summary.grains, 8.442);

        p.selWeight->select(1);
        m.optSpeed->select(1);
        m.optPower->select(1);
        RecordShot(m, 800);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 3), QStringLiteral("8.442"));
        QCOMPARE(m.Label5->text(), QStringLiteral("800.00"));
        QCOMPARE(m.Label3->text(), QStringLiteral("12.00"));

        // The gun type's limit is read when the type changes: 8.40 ft·lbf is legal in a rifle only.
        typeInto(p.txtWeight, QStringLiteral("10.5"));
        p.optType->select(12);
        RecordShot(m, 600);
        QCOMPARE(m.Label3->text(), QStringLiteral("8.40"));
        QVERIFY(!red(m.Label3));
        p.optType->select(6);
        QVERIFY(red(m.Label3));
        QCOMPARE(m.string().units().gunType, 6);
    }
};

QTEST_MAIN(TestShotSettings)
#include "tst_shot_settings.moc"
