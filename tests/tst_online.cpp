// The online database exchange of the data options window, against velmora-relay on loopback
// and against a fake server that misbehaves.
#include "data_options/frm_pellet.h"
#include "data_options/online_exchange.h"
#include "fake_http_server.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "relay_process.h"
#include "test_app.h"
#include "widget_helpers.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {


// A small published list for the relay to start with.
QString seedFolder(QTemporaryDir& dir)
{
    QFile p(dir.filePath(QStringLiteral("projectiles.tsv")));
    if (p.open(QIODevice::WriteOnly))
        p.write("Relay Pellet\t0.25\t1.645\nOther Pellet\t0.177\t0.547\n");
    QFile g(dir.filePath(QStringLiteral("guns.tsv")));
    if (g.open(QIODevice::WriteOnly))
        g.write("Relay Arms\tR1\t0\nRelay Arms\tP1\t1\n");
    return dir.path();
}

const QByteArray kTwoLists = "<Response><status>OK</status><pellets><pellet><name>A</name><caliber>0.22</caliber>"
                             "<metric>1.03</metric></pellet></pellets><guns><gun><make>M</make><model>X</model>"
                             "<pistol>1</pistol></gun></guns></Response>";

} // namespace

class TestOnline : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void documentsAreEscapedAndReadWithXPath()
    {
        QCOMPARE(online::updateListRequest(), QByteArray("<query><type>updatelist</type></query>"));
        QCOMPARE(online::submitGunRequest(QStringLiteral("Air Pistol"), QStringLiteral("Smith & Wesson"),
                                          QStringLiteral("<b>")),
                 QByteArray("<query><type>submitgun</type><guntype>Air Pistol</guntype><gunmake>Smith &amp; "
                            "Wesson</gunmake><gunmodel>&lt;b&gt;</gunmodel></query>"));
        QCOMPARE(online::submitProjectileRequest(QStringLiteral(".22"), QStringLiteral("JSB"), QStringLiteral("0.547")),
                 QByteArray("<query><type>submitprojectile</type><pelcaliber>.22</pelcaliber><pelmake>JSB</pelmake>"
                            "<pelweight>0.547</pelweight></query>"));
        online::Answer a = online::readAnswer(kTwoLists);
        QVERIFY(a.hasStatus);
        QCOMPARE(a.status, QStringLiteral("OK"));
        QCOMPARE(a.pellets.size(), 1);
        QCOMPARE(a.pellets[0].metric, 1.03);
        QCOMPARE(a.guns[0].pistol, 1);
        QVERIFY(a.invalid.isEmpty());
        QVERIFY(!online::readAnswer("<html>not xml").hasStatus);
        QVERIFY(!online::readAnswer("<Other><status>OK</status></Other>").hasStatus);
        QCOMPARE(online::readAnswer("<Response><status>OK</status><pellets><pellet><name>Z</name><caliber>x"
                                    "</caliber></pellet></pellets></Response>")
                     .invalid,
                 QStringLiteral("Z"));
        // Found by fuzzing: a pistol flag far out of range was converted to an int unchecked.
        QCOMPARE(online::readAnswer("<Response><guns><gun><make>M</make><model>X</model><pistol>1e300</pistol></gun>"
                                    "</guns></Response>")
                     .invalid,
                 QStringLiteral("M X"));
    }

    void updateReplacesTheTablesAndRefillsTheLists()
    {
        QTemporaryDir seed;
        RelayProcess relay(seedFolder(seed));
        QVERIFY(relay.isRunning());
        TestApp::setSetting(QStringLiteral("WebService"), relay.address());
        TestApp::setSetting(QStringLiteral("optType"), 9999);
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        p.probeOnline();
        QTRY_COMPARE(p.btnUpdate->text(), QStringLiteral("Update Database from Internet"));
        QVERIFY(p.btnAddGun->isEnabledTo(&p));
        app.prompt.setNextAnswer(Prompt::Answer::No);
        p.btnUpdate_Click();
        QVERIFY(entries(p.lstCal).size() > 2); // unchanged: the seed of the local database
        p.btnUpdate_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Velmora will now attempt to connect to the internet and "
                                                              "update the pellet and gun databases.  Are you sure?"));
        QCOMPARE(entries(p.lstCal), QStringList({"0.25", "0.177"}));
        QStringList makes = entries(p.lstGunMake);
        QCOMPARE(makes, QStringList({"Relay Arms"}));
        QCOMPARE(app.store.gunModels(QStringLiteral("Relay Arms"), PelletStore::GunType::Pistol), QStringList({"P1"}));
    }

    void submissionsReachTheQueueAndComeBackOnceApproved()
    {
        QTemporaryDir seed;
        RelayProcess relay(seedFolder(seed));
        TestApp::setSetting(QStringLiteral("WebService"), relay.address());
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        p.lstGunType->setCurrentText(QStringLiteral("Air Pistol"));
        p.txtAddGunMake->setText(QStringLiteral("Smith & Wesson"));
        p.txtAddGunModel->setText(QStringLiteral("<b>"));
        p.btnAddGun_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("The gun has been submitted and will be added to the "
                                                              "global database once it has been checked."));
        QVERIFY(p.txtAddGunMake->text().isEmpty());
        QCOMPARE(p.lstGunType->currentText(), QStringLiteral("Air Pistol"));

        p.txtAddWeight->setText(QStringLiteral("0"));
        const qsizetype asked = app.prompt.shown.size();
        p.btnAddPellet_Click();
        QCOMPARE(app.prompt.shown.size(), asked + 1); // refused before any question
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("You cannot submit a projectile without a weight."));
        p.txtAddCal->setText(QStringLiteral(".22"));
        p.txtAddPelMake->setText(QStringLiteral("JSB \"Exact\""));
        p.txtAddWeight->setText(QStringLiteral("8.442"));
        QVERIFY(p.selAddWeight->isSelected(1));
        p.btnAddPellet_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("The projectile has been submitted and will be added to "
                                                              "the global database once it has been checked."));
        QCOMPARE(p.txtAddWeight->text(), QStringLiteral("0"));

        const QStringList queue = relay.moderate({QStringLiteral("list"), QStringLiteral("pending")}).split(u'\n');
        QVERIFY(queue[0].startsWith(QStringLiteral("1\tgun\tAir Pistol\tSmith & Wesson\t<b>\tpending")));
        QVERIFY(queue[1].startsWith(QStringLiteral("2\tprojectile\t.22\tJSB \"Exact\"\t0.547\tpending")));
        relay.moderate({QStringLiteral("approve"), QStringLiteral("1")});
        relay.moderate({QStringLiteral("approve"), QStringLiteral("2")});
        p.btnUpdate_Click();
        QCOMPARE(app.store.gunModels(QStringLiteral("Smith & Wesson"), PelletStore::GunType::Pistol),
                 QStringList({"<b>"}));
        QCOMPARE(app.store.projectilesOfCalibre(QStringLiteral("0.22"))[0].name, QStringLiteral("JSB \"Exact\""));
    }

    void refusalsAndFailures()
    {
        FakeHttpServer server;
        TestApp::setSetting(QStringLiteral("WebService"), QStringLiteral("http://127.0.0.1:%1").arg(server.port()));
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        p.exchangeTimeoutMs = 800;
        p.probeTimeoutMs = 800;
        const QStringList before = entries(p.lstCal);

        server.answer(200, "<Response><status>BAD</status></Response>");
        p.btnUpdate_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Error: Please try again."));
        p.txtAddGunMake->setText(QStringLiteral("M"));
        p.btnAddGun_Click(); // BAD to a submission: the submission's own message
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("There Was an error submitting this gun.  Please try "
                                                              "direct on the website if you continue to have problems."));
        QCOMPARE(p.txtAddGunMake->text(), QStringLiteral("M"));

        // A refused projectile in grains shows its weight in grammes, under the gram unit; a
        // retry sends the same weight again.
        p.txtAddWeight->setText(QStringLiteral("8.442"));
        p.selAddWeight->select(1);
        p.txtAddWeight->setText(QStringLiteral("8.442"));
        for (int attempt = 0; attempt < 2; ++attempt) {
            p.btnAddPellet_Click();
            QVERIFY(server.lastRequestBody().contains("<pelweight>0.547</pelweight>"));
            QCOMPARE(p.txtAddWeight->text(), QStringLiteral("0.547"));
            QVERIFY(p.selAddWeight->isSelected(0));
        }

        server.answer(200, "<html><body>Garbage</body");
        qsizetype shown = app.prompt.shown.size();
        p.btnUpdate_Click();
        QCOMPARE(app.prompt.shown.size(), shown + 1); // the question only: no status, no message
        QCOMPARE(entries(p.lstCal), before);

        server.answer(500, "<Response><status>OK</status></Response>");
        p.btnUpdate_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Error: No Connection to server."));

        server.neverAnswer();
        QElapsedTimer timer;
        timer.start();
        p.btnUpdate_Click();
        QVERIFY(timer.elapsed() < 3000);
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Error: No Connection to server."));
        p.probeOnline();
        QTRY_COMPARE_WITH_TIMEOUT(p.btnUpdate->text(), QStringLiteral("Internet connection not found."), 3000);
        QVERIFY(!p.txtAddWeight->isEnabledTo(&p));
        QCOMPARE(entries(p.lstCal), before);

        // An update without a pellets element empties the projectile table, and the guns follow.
        server.answer(200, "<Response><status>OK</status><guns><gun><make>Only</make><model>One</model><pistol>0"
                           "</pistol></gun></guns></Response>");
        p.btnUpdate_Click();
        QVERIFY(entries(p.lstCal).isEmpty());
        QCOMPARE(app.store.gunMakes(PelletStore::GunType::Any, true), QStringList({"Only"}));

        // An entry without readable numbers leaves both tables as they were.
        server.answer(200, "<Response><status>OK</status><pellets><pellet><name>Q</name><caliber>?</caliber><metric>1"
                           "</metric></pellet></pellets></Response>");
        p.btnUpdate_Click();
        QVERIFY(app.prompt.shown.last().text.contains(QStringLiteral("The local database is unchanged")));
        QCOMPARE(app.store.gunMakes(PelletStore::GunType::Any, true), QStringList({"Only"}));
    }

    void aServerThatIsDownOrADefaultAddress()
    {
        int freePort = 0;
        {
            FakeHttpServer closed;
            freePort = closed.port();
        }
        TestApp::setSetting(QStringLiteral("WebService"), QStringLiteral("http://127.0.0.1:%1").arg(freePort));
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        QElapsedTimer timer;
        timer.start();
        p.btnUpdate_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Error: No Connection to server."));
        p.txtAddWeight->setText(QStringLiteral("1"));
        p.btnAddPellet_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("There Was an error submitting this projectile.  Please "
                                                              "try direct on the website if you continue to have "
                                                              "problems."));
        QCOMPARE(p.txtAddWeight->text(), QStringLiteral("0.065")); // converted, and kept on failure
        QVERIFY(timer.elapsed() < 3000);
        TestApp::setSetting(QStringLiteral("WebService"), QStringLiteral("http://velmora.invalid"));
        timer.restart();
        p.probeOnline();
        QTRY_COMPARE_WITH_TIMEOUT(p.btnUpdate->text(), QStringLiteral("Internet connection not found."), 1000);
        QVERIFY(timer.elapsed() < 1000);
    }
};

QTEST_MAIN(TestOnline)
#include "tst_online.moc"
