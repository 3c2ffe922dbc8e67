// The relay service: its request parser, number and text rules, moderation store, service
// limits, and the real velmora-relay under a burst of clients.
#include "http_burst.h"
#include "relay_number.h"
#include "relay_process.h"
#include "relay_protocol.h"
#include "relay_service.h"
#include "relay_store.h"
#include "relay_text.h"
#include "sim_process.h"
#include "velmora_reading.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <pugixml.hpp>

namespace {

std::string projectileRequest(const std::string& calibre, const std::string& make, const std::string& weight)
{
    return "<query><type>submitprojectile</type><pelcaliber>" + calibre + "</pelcaliber><pelmake>" + make +
           "</pelmake><pelweight>" + weight + "</pelweight></query>";
}

std::string gunRequest(const std::string& make)
{
    return "<query><type>submitgun</type><guntype>Air Rifle</guntype><gunmake>" + make +
           "</gunmake><gunmodel>Y</gunmodel></query>";
}

const std::string kBad = "<Response><status>BAD</status></Response>";
const std::string kOk = "<Response><status>OK</status></Response>";

void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

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
        r = relay::parseRequest(projectileRequest(".22", "J", "0.547"));
        QVERIFY(r);
        QCOMPARE(r->fields["pelweight"], std::string("0.547"));
        // The weight in a comma locale's own writing, published with a point; the calibre alike.
        r = relay::parseRequest(projectileRequest("4,5", "J\xc3\xa9", "0,547"));
        QVERIFY(r);
        QCOMPARE(r->fields["pelweight"], std::string("0.547"));
        QCOMPARE(r->fields["pelcaliber"], std::string("4.5"));
        QCOMPARE(r->fields["pelmake"], std::string("J\xc3\xa9"));
    }

    void refusesMalformedRequests()
    {
        for (const std::string& bad : std::vector<std::string>{
                 "", "garbage", "<query>", "<query><type>drop</type></query>", "<other><type>updatelist</type></other>",
                 "<query><type>submitgun</type><gunmake>M</gunmake></query>",
                 "<query><type>submitgun</type><guntype>X</guntype><gunmake></gunmake><gunmodel>Y</gunmodel></query>",
                 projectileRequest("big", "J", "1"), projectileRequest("", "J", "1"),
                 projectileRequest(".22", "J", "-1"),
                 // A field given twice, or holding elements; more than one document element.
                 "<query><type>submitgun</type><guntype>X</guntype><gunmake>A</gunmake><gunmake>B</gunmake><gunmodel>Y"
                 "</gunmodel></query>",
                 projectileRequest(".22", "J", "1") + "<pelweight>2</pelweight>",
                 "<query><type>submitprojectile</type><pelcaliber>.22</pelcaliber><pelmake>J</pelmake><pelweight>1"
                 "</pelweight><pelweight>2</pelweight></query>",
                 "<query><type>updatelist</type><type>submitgun</type></query>",
                 "<query><type>submitgun</type><guntype>X</guntype><gunmake>A<b/>B</gunmake><gunmodel>Y</gunmodel>"
                 "</query>",
                 "<query><type>updatelist</type></query><query><type>updatelist</type></query>"})
            QVERIFY2(!relay::parseRequest(bad), bad.c_str());
        const std::string huge = "<query><type>updatelist</type>" + std::string(70000, ' ') + "</query>";
        QVERIFY(!relay::parseRequest(huge));
        QVERIFY(!relay::parseRequest(gunRequest(std::string(500, 'a'))));
    }

    // Only what Velmora reads is accepted: anything else, once approved, would make every
    // member's update fail.
    void numbersAreTheOnesVelmoraReads_data()
    {
        QTest::addColumn<QByteArray>("weight");
        QTest::addColumn<QByteArray>("published"); // empty: refused
        QTest::newRow("point") << QByteArray("0.547") << QByteArray("0.547");
        QTest::newRow("comma") << QByteArray("8,442") << QByteArray("8.442");
        QTest::newRow("spaces") << QByteArray(" 0.547\xc2\xa0") << QByteArray("0.547");
        QTest::newRow("bare point") << QByteArray("+.5") << QByteArray("+.5");
        QTest::newRow("trailing point") << QByteArray("1.") << QByteArray("1.");
        QTest::newRow("exponent, Unicode minus") << QByteArray("5E\342\210\2221") << QByteArray("5e-1");
        QTest::newRow("just below a million") << QByteArray("999999.9") << QByteArray("999999.9");
        for (const char* refused : {"0x10", "1e400", "nan",           "inf", "-INF",     "infinity", "1e-400",
                                    "0",    "-1",    "\342\210\2221", "1e6", "1,000.5",  "1,2,3",    "0..5",
                                    "",     " ",     "1 000",         "1d5", "\xd9\xa3", "1e",       "."})
            QTest::newRow(refused) << QByteArray(refused) << QByteArray();
    }
    void numbersAreTheOnesVelmoraReads()
    {
        QFETCH(QByteArray, weight);
        QFETCH(QByteArray, published);
        const auto r = relay::parseRequest(projectileRequest(".22", "J", weight.toStdString()));
        QCOMPARE(bool(r), !published.isEmpty());
        if (!r)
            return;
        QCOMPARE(QByteArray::fromStdString(r->fields.at("pelweight")), published);
        QVERIFY(velmoraReadsCalibre(r->fields.at("pelweight")));
    }

    // Cases on the edges of Velmora's reading, compared with Velmora's own reading of an answer.
    void relayAndVelmoraAgreeOnNumbers()
    {
        for (const char* text : {"0.547",         " 1 ",
                                 "\t1\n",         "\357\273\2771",
                                 "1\xef\xbb\xbf", "\xc2\xa0 1",
                                 "\302\2051",     "\342\200\2131",
                                 "\xef\xbc\x91",  "NaN",
                                 "-nan",          "+INF",
                                 "-inf",          "infinity",
                                 "1e-320",        "1e-400",
                                 "0e99999999999", "1e99999999999",
                                 "0x10",          "1d5",
                                 "1,5",           "+-1",
                                 ".e1",           "0.e1",
                                 "1.e1",          "\xe2\x88\x92.5",
                                 "\3771",         "\xc0\xb1"}) {
            const auto relayReads = relay::clientNumber(text);
            const auto velmora = velmoraReadsCalibre(text);
            QVERIFY2(relayReads.has_value() == velmora.has_value(), text);
            if (relayReads && !std::isnan(*velmora))
                QVERIFY2(relayReads->value == *velmora, text);
        }
    }

    void controlCharactersAreRefused()
    {
        // Raw or as character references: a forged line of the queue, or a terminal escape.
        for (const char* make :
             {"A\tB", "A\nB", "A\rB", "A\x1b[2JB", "A&#9;B", "A&#10;1\tgun\tforged", "A&#x1B;B", "A&#127;B",
              "A\302\205B", "A&#x9b;B", "A\342\200\256B", "A\342\200\250B", "A\377B", "A\355\240\200B"}) {
            QVERIFY2(!relay::parseRequest(gunRequest(make)), make);
            QVERIFY2(!relay::parseRequest(projectileRequest(".22", make, "1")), make);
        }
        QVERIFY(relay::parseRequest(gunRequest("Kr\xc3\xbcger \xe2\x80\x9cZ\xe2\x80\x9d \\ 'x'")));
        QCOMPARE(relay::escaped("a\\b\tc\nd\re\x1b[0m\x7f\xc2\x85\xe2\x80\xae\xff\xc3\xbc"),
                 std::string("a\\\\b\\tc\\nd\\re\\x1B[0m\\x7F\\u0085\\u202E\\xFF\xc3\xbc"));
    }

    // Entries stored by an older relay that did not refuse controls.
    void listPrintsEveryFieldEscaped()
    {
        QTemporaryDir dir;
        const std::string db = dir.filePath(QStringLiteral("r.db")).toStdString();
        {
            relay::Store store(db);
            QVERIFY(store.submit(
                {"submitgun",
                 {{"guntype", "Rifle"}, {"gunmake", "M\n9\tgun\tforged"}, {"gunmodel", "\x1b]0;owned\x07"}}}));
            QVERIFY(store.submit({"submitgun", {{"guntype", "Rifle"}, {"gunmake", "Plain"}, {"gunmodel", "P"}}}));
        }
        QProcess list;
        list.start(SimProcess::binary(QStringLiteral("velmora-relay")),
                   {QStringLiteral("--db"), QString::fromStdString(db), QStringLiteral("list")});
        QVERIFY(list.waitForFinished(5000));
        const QByteArray out = list.readAllStandardOutput();
        const QList<QByteArray> lines = out.split('\n');
        QCOMPARE(lines.size(), 3); // two entries and the end
        QVERIFY(lines[0].startsWith("1\tgun\tRifle\tM\\n9\\tgun\\tforged\t\\x1B]0;owned\\x07\tpending\t"));
        QVERIFY(lines[1].startsWith("2\tgun\tRifle\tPlain\tP\tpending\t"));
        QVERIFY(!out.contains('\x1b'));
    }

    // Random edits of a valid submission. An accepted one keeps its promises: one of each field,
    // no control character, the make back unchanged through Velmora's reading of a published list,
    // numbers Velmora reads written with a point. A refused one is answered BAD.
    void mutatedRequestsKeepTheirPromises()
    {
        relay::Store store(":memory:");
        relay::Service service(store, {1LL << 40, 1 << 30});
        const char* const pieces[] = {"<",
                                      ">",
                                      "&",
                                      "/",
                                      ",",
                                      ".",
                                      "e",
                                      "x",
                                      "-",
                                      "0",
                                      "7",
                                      "\t",
                                      "\r",
                                      "\x1b",
                                      "&#9;",
                                      "&#27;",
                                      "&#x85;",
                                      "\xc2\x85",
                                      "\xe2\x88\x92",
                                      "\xe2\x80\xae",
                                      "\xff",
                                      "<pelweight>2</pelweight>",
                                      "<pelmake>K</pelmake>",
                                      "<b/>",
                                      "<![CDATA[1]]>"};
        QRandomGenerator random(99);
        auto edit = [&](std::string& text) {
            const size_t at = random.bounded(quint32(text.size() + 1));
            if (random.bounded(3) == 0)
                text.erase(std::min(at, text.size()), random.bounded(3u) + 1);
            else
                text.insert(at, pieces[random.bounded(quint32(std::size(pieces)))]);
        };
        int accepted = 0;
        int refused = 0;
        for (int i = 0; i < 50000; ++i) {
            // Mostly inside the fields, sometimes anywhere.
            std::string fields[] = {".22", "JSB", "0.547"};
            for (std::string& field : fields)
                for (int e = int(random.bounded(3)); e > 0; --e)
                    edit(field);
            std::string text = projectileRequest(fields[0], fields[1], fields[2]);
            if (random.bounded(4) == 0)
                edit(text);
            const auto request = relay::parseRequest(text);
            if (!request) {
                ++refused;
                QVERIFY2(service.answer(text, "a", {}) == kBad, text.c_str());
                continue;
            }
            ++accepted;
            pugi::xml_document doc;
            doc.load_string(text.c_str());
            for (const char* name : {"type", "pelcaliber", "pelmake", "pelweight"}) {
                const auto found = doc.child("query").children(name);
                QVERIFY2(std::distance(found.begin(), found.end()) == 1, text.c_str());
            }
            const auto& f = request->fields;
            for (const auto& [name, value] : f)
                for (unsigned char c : value)
                    QVERIFY2(c >= 0x20 && c != 0x7f, text.c_str());
            const online::Answer a = online::readAnswer(QByteArray::fromStdString(
                relay::listAnswer({{f.at("pelmake"), f.at("pelcaliber"), f.at("pelweight")}}, {})));
            QVERIFY2(a.invalid.isEmpty() && a.pellets.size() == 1, text.c_str());
            QCOMPARE(a.pellets[0].name.toStdString(), f.at("pelmake"));
            QVERIFY2(f.at("pelweight").find(',') == std::string::npos, text.c_str());
            QVERIFY(a.pellets[0].metric > 0 && a.pellets[0].caliber > 0);
        }
        QVERIFY(accepted > 5000);
        QVERIFY(refused > 5000);
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
        QCOMPARE(store.pendingCount(), 2LL);
        QVERIFY(store.approve(1));
        QVERIFY(!store.approve(1)); // not pending any more
        QVERIFY(store.reject(2));
        QVERIFY(!store.reject(2));
        QCOMPARE(int(store.guns()->size()), 1);
        QCOMPARE((*store.guns())[0].pistol, 1);
        QVERIFY(store.projectiles()->empty());
        QCOMPARE(relay::pistolFor("Rifle"), 0);
        const std::string list = relay::listAnswer(*store.projectiles(), *store.guns());
        QCOMPARE(QString::fromStdString(list),
                 QStringLiteral("<Response><status>OK</status><pellets/><guns><gun><make>M</make><model>P</model>"
                                "<pistol>1</pistol></gun></guns></Response>"));

        // Taking an approved entry out of the published list again.
        QVERIFY(store.unpublish(1));
        QVERIFY(store.guns()->empty());
        QCOMPARE(store.submissions("unpublished")->size(), size_t(1));
        QVERIFY(!store.unpublish(1));
        QVERIFY(!store.unpublish(2)); // rejected, never published

        // Pending entries kept by an older relay: readable ones are published with a point,
        // unreadable ones are not published at all.
        QVERIFY(
            store.submit({"submitprojectile", {{"pelcaliber", " 4,5"}, {"pelmake", "Old"}, {"pelweight", "1,03"}}}));
        QVERIFY(store.submit({"submitprojectile", {{"pelcaliber", ".22"}, {"pelmake", "Hex"}, {"pelweight", "0x10"}}}));
        QVERIFY(store.approve(3));
        QVERIFY(!store.approve(4));
        QVERIFY(QString::fromStdString(store.error()).contains(QStringLiteral("cannot read")));
        QCOMPARE(store.projectiles()->size(), size_t(1));
        QCOMPARE((*store.projectiles())[0].caliber, std::string("4.5"));
        QCOMPARE((*store.projectiles())[0].metric, std::string("1.03"));
        QVERIFY(store.unpublish(3));
        QVERIFY(store.projectiles()->empty());
    }

    void seedRowsAreCheckedLikeSubmissions()
    {
        QTemporaryDir dir;
        const QString seed = dir.filePath(QStringLiteral("seed"));
        QVERIFY(QDir().mkpath(seed));
        writeFile(seed + QStringLiteral("/guns.tsv"), "# Make\tModel\tPistol\r\nW\tHW100\t0\r\nW\tP1\t1\r\n");
        writeFile(seed + QStringLiteral("/projectiles.tsv"), "# header\nGood\t0,177\t0.547\nHex\t0.22\t0x10\n");
        relay::Store store(dir.filePath(QStringLiteral("r.db")).toStdString());
        QVERIFY(!store.importSeed(seed.toStdString()));
        QVERIFY(QString::fromStdString(store.error())
                    .endsWith(QStringLiteral("projectiles.tsv line 3: the calibre or "
                                             "weight is not a number Velmora reads")));
        QVERIFY(store.projectiles()->empty() && store.guns()->empty()); // all or nothing
        writeFile(seed + QStringLiteral("/projectiles.tsv"), "Good\t0,177\t0.547\n");
        QVERIFY(store.importSeed(seed.toStdString()));
        QCOMPARE((*store.projectiles())[0].caliber, std::string("0.177"));
        QCOMPARE(store.guns()->size(), size_t(2)); // CR LF line ends are fine
        writeFile(seed + QStringLiteral("/guns.tsv"), "W\tHW100\t2\n");
        QVERIFY(!store.importSeed(seed.toStdString()));
        QVERIFY(!store.importSeed(dir.filePath(QStringLiteral("nowhere")).toStdString()));
    }

    // An older relay's unreadable published entry no longer breaks every member's update.
    void updatesLeaveOutUnreadableEntries()
    {
        relay::Store store(":memory:");
        QVERIFY(store.publishProjectile({"Good", "0.22", "1,03"}));
        QVERIFY(store.publishProjectile({"Bad", "0.22", "nan"}));
        QVERIFY(store.publishGun({"G", "Two", 2}));
        relay::Service service(store, {});
        QCOMPARE(service.unreadablePublished()->size(), size_t(2));
        const online::Answer a = online::readAnswer(
            QByteArray::fromStdString(service.answer("<query><type>updatelist</type></query>", "a", {})));
        QVERIFY(a.invalid.isEmpty());
        QCOMPARE(a.pellets.size(), 1);
        QCOMPARE(a.pellets[0].metric, 1.03);
        QVERIFY(a.guns.isEmpty());
    }

    void capsOnTheQueueAndPerAddress()
    {
        relay::Store store(":memory:");
        relay::Service service(store, {5, 3});
        const relay::Service::Clock::time_point start{};
        const std::string tooMany = relay::statusAnswer("BAD", relay::kTooMany);
        for (int i = 0; i < 3; ++i)
            QVERIFY(service.answer(gunRequest("M"), "10.0.0.1", start + std::chrono::seconds(i)) == kOk);
        QVERIFY(service.answer(gunRequest("M"), "10.0.0.1", start + std::chrono::seconds(59)) == tooMany);
        QVERIFY(service.answer(gunRequest("M"), "10.0.0.2", start + std::chrono::seconds(59)) == kOk);
        QVERIFY(service.answer(gunRequest(""), "10.0.0.1", start + std::chrono::seconds(59)) == kBad);
        // Updates are never limited; a minute after the first, one more is admitted.
        QVERIFY(service.answer("<query><type>updatelist</type></query>", "10.0.0.1", start + std::chrono::seconds(59))
                    .find("<status>OK</status>") != std::string::npos);
        QVERIFY(service.answer(gunRequest("M"), "10.0.0.1", start + std::chrono::seconds(60)) == kOk);
        QCOMPARE(store.pendingCount(), 5LL);
        QVERIFY(service.answer(gunRequest("M"), "10.0.0.3", start + std::chrono::minutes(5)) ==
                relay::statusAnswer("BAD", relay::kQueueFull));
        QVERIFY(store.reject(1));
        QVERIFY(service.answer(gunRequest("M"), "10.0.0.3", start + std::chrono::minutes(5)) == kOk);
        QCOMPARE(relay::statusAnswer("BAD", relay::kQueueFull),
                 std::string("<Response><status>BAD</status><reason>the moderation queue is full, try again later"
                             "</reason></Response>"));
    }

    // The real service: hundreds of clients at once, each keeping its connection after its
    // answer as a browser would, are all answered; none is reset.
    void aBurstOfClientsIsAnswered()
    {
        // All from one address here: the per-address connection cap is lifted.
        RelayProcess relay({}, {QStringLiteral("--connections-per-address"), QStringLiteral("0")});
        QVERIFY(relay.isRunning());
        const std::vector<std::string> updates(300, "<query><type>updatelist</type></query>");
        // While the service is stopped, the system still takes every connection into its queue:
        // with a small backlog the rest would be dropped and tried again only seconds later.
        QCOMPARE(kill(pid_t(relay.processId()), SIGSTOP), 0);
        BurstOutcome outcome = httpBurst(relay.port(), "/relay.php", updates, false, 1500);
        QCOMPARE(kill(pid_t(relay.processId()), SIGCONT), 0);
        QCOMPARE(outcome.connected, 300);
        QCOMPARE(outcome.reset, 0);

        outcome = httpBurst(relay.port(), "/relay.php", updates, true, 30000);
        QCOMPARE(outcome.reset, 0);
        QCOMPARE(outcome.answered, 300);
        // The same burst of submissions from one address: the first 20 are queued, the rest refused.
        std::vector<std::string> submissions;
        for (int i = 0; i < 300; ++i)
            submissions.push_back(gunRequest("M" + std::to_string(i)));
        outcome = httpBurst(relay.port(), "/relay.php", submissions, false, 30000);
        QCOMPARE(outcome.answered, 300);
        const long queued = std::count(outcome.bodies.begin(), outcome.bodies.end(), kOk);
        const long refused =
            std::count(outcome.bodies.begin(), outcome.bodies.end(), relay::statusAnswer("BAD", relay::kTooMany));
        QCOMPARE(queued, 20L);
        QCOMPARE(refused, 280L);
        QCOMPARE(relay.moderate({QStringLiteral("list"), QStringLiteral("pending")}).count(u'\n'), 20);
    }

    // As the README promises: a body over 64 KiB is answered BAD, not with an HTTP error.
    void oversizedBodiesAreAnsweredBad()
    {
        RelayProcess relay;
        QVERIFY(relay.isRunning());
        const std::string over = "<query><type>updatelist</type>" + std::string(70000, ' ') + "</query>";
        const std::string far = "<query><type>updatelist</type>" + std::string(3000000, ' ') + "</query>";
        const std::string limit =
            "<query><type>updatelist</type>" + std::string(relay::kMaxRequestBytes - 38, ' ') + "</query>";
        const BurstOutcome outcome = httpBurst(relay.port(), "/relay.php", {over, far, limit}, false, 30000);
        QCOMPARE(outcome.answered, 3);
        QVERIFY(outcome.bodies[0] == kBad);
        QVERIFY(outcome.bodies[1] == kBad);
        QVERIFY(outcome.bodies[2].find("<status>OK</status>") != std::string::npos);
    }
};

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
