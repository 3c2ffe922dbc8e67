// The relay service's request parser and moderation store.
#include "relay_protocol.h"
#include "relay_store.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TestRelay : public QObject {
    Q_OBJECT
private slots:
    void parsesWhatVelmoraSends()
    {
        auto r = relay::parseRequest("<query><type>submitgun</type><guntype>Air Pistol</guntype><gunmake>Smith &amp; "
                                     "Wesson</gunmake><gunmodel>&lt;b&gt;</gunmodel></query>");
        QVERIFY(r);
        QCOMPARE(QString::fromStdString(r->fields["gunmake"]), QStringLiteral("Smith & Wesson"));
        QCOMPARE(QString::fromStdString(r->fields["gunmodel"]), QStringLiteral("<b>"));
        QVERIFY(relay::parseRequest("<query><type>updatelist</type></query>"));
        QVERIFY(relay::parseRequest("<query><type>submitprojectile</type><pelcaliber>.22</pelcaliber><pelmake>J"
                                    "</pelmake><pelweight>0.547</pelweight></query>"));
    }

    void refusesMalformedRequests()
    {
        for (const char* bad :
             {"", "garbage", "<query>", "<query><type>drop</type></query>", "<other><type>updatelist</type></other>",
              "<query><type>submitgun</type><gunmake>M</gunmake></query>",
              "<query><type>submitgun</type><guntype>X</guntype><gunmake></gunmake><gunmodel>Y</gunmodel></query>",
              "<query><type>submitprojectile</type><pelcaliber>big</pelcaliber><pelmake>J</pelmake><pelweight>1"
              "</pelweight></query>",
              "<query><type>submitprojectile</type><pelcaliber></pelcaliber><pelmake>J</pelmake><pelweight>1"
              "</pelweight></query>",
              "<query><type>submitprojectile</type><pelcaliber>.22</pelcaliber><pelmake>J</pelmake><pelweight>-1"
              "</pelweight></query>"})
            QVERIFY2(!relay::parseRequest(bad), bad);
        const std::string huge = "<query><type>updatelist</type>" + std::string(70000, ' ') + "</query>";
        QVERIFY(!relay::parseRequest(huge));
        const std::string longField = "<query><type>submitgun</type><guntype>X</guntype><gunmake>" +
                                      std::string(500, 'a') + "</gunmake><gunmodel>Y</gunmodel></query>";
        QVERIFY(!relay::parseRequest(longField));
    }

    // Random and mutated requests never crash the parser.
    void fuzzTheParser()
    {
        const std::string valid = "<query><type>submitprojectile</type><pelcaliber>.22</pelcaliber><pelmake>J"
                                  "</pelmake><pelweight>0.547</pelweight></query>";
        QRandomGenerator random(99);
        int accepted = 0;
        for (int i = 0; i < 100000; ++i) {
            std::string text = valid;
            const int edits = int(random.bounded(6)) + 1;
            for (int e = 0; e < edits && !text.empty(); ++e) {
                const size_t at = random.bounded(quint32(text.size()));
                switch (random.bounded(3)) {
                case 0:
                    text[at] = char(random.bounded(256));
                    break;
                case 1:
                    text.erase(at, random.bounded(8u));
                    break;
                default:
                    text.insert(at, 1, "<>&/;'\""[random.bounded(7)]);
                }
            }
            if (relay::parseRequest(text))
                ++accepted;
        }
        QVERIFY(accepted < 100000);
    }

    void moderation()
    {
        QTemporaryDir dir;
        relay::Store store(dir.filePath(QStringLiteral("r.db")).toStdString());
        QVERIFY(store.ok());
        relay::Request gun{"submitgun", {{"guntype", "Air Pistol"}, {"gunmake", "M"}, {"gunmodel", "P"}}};
        relay::Request pellet{"submitprojectile", {{"pelcaliber", ".22"}, {"pelmake", "J"}, {"pelweight", "0.547"}}};
        QVERIFY(store.submit(gun));
        QVERIFY(store.submit(pellet));
        QCOMPARE(int(store.submissions("pending").size()), 2);
        QVERIFY(store.approve(1));
        QVERIFY(!store.approve(1)); // not pending any more
        QVERIFY(store.reject(2));
        QVERIFY(!store.reject(2));
        QCOMPARE(int(store.guns().size()), 1);
        QCOMPARE(store.guns()[0].pistol, 1);
        QVERIFY(store.projectiles().empty());
        QCOMPARE(relay::pistolFor("Rifle"), 0);
        const std::string list = relay::listAnswer(store.projectiles(), store.guns());
        QCOMPARE(QString::fromStdString(list),
                 QStringLiteral("<Response><status>OK</status><pellets/><guns><gun><make>M</make><model>P</model>"
                                "<pistol>1</pistol></gun></guns></Response>"));
    }
};

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
