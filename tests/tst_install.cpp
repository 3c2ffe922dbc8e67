// The tree that "cmake --install" makes, put into a temporary DESTDIR: every file in its place,
// and the installed program, started headless with nothing but a private home, finds Devlink,
// Devcore, its sound and its seed there and nothing in the build folder.
#include "services/install_paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kBuildDir = QStringLiteral(VELMORA_BUILD_DIR);
const QString kPrefix = QStringLiteral(VELMORA_INSTALL_PREFIX);
const QString kLibDir = QStringLiteral(VELMORA_INSTALL_LIBDIR);
const QString kShownLine = QStringLiteral("velmora: main window shown: Velmora v1.6");

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(mode) && f.write(data) == data.size();
}

// Runs a command to its end; its exit code and everything it printed.
std::pair<int, QString> run(const QString& program, const QStringList& arguments,
                            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(120000))
        return {-1, QStringLiteral("%1 did not finish: %2").arg(program, p.errorString())};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAll())};
}

// The installed program started as from a desktop: nothing in its environment but a home, a
// runtime folder and the headless platform; no library path, no display. Ended when this ends.
class InstalledVelmora {
public:
    InstalledVelmora(const QString& program, const QString& home, const QString& workingFolder)
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VELMORA_REPORT_SHOWN"), QStringLiteral("1"));
        QDir().mkpath(home + QStringLiteral("/runtime"));
        QFile::setPermissions(home + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(workingFolder);
        m_process.start(program, {});
    }
    ~InstalledVelmora()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // True once the program reports its main window shown.
    bool waitUntilShown(int timeoutMs = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs && m_process.state() != QProcess::NotRunning) {
            m_output += m_process.readAllStandardOutput();
            if (m_output.contains(kShownLine.toUtf8()))
                return true;
            m_process.waitForReadyRead(200);
        }
        m_output += m_process.readAllStandardOutput();
        return m_output.contains(kShownLine.toUtf8());
    }

    // The files the running program has mapped: its libraries and plug-ins.
    QStringList mappedFiles() const
    {
        QStringList files;
        const QByteArray maps = contents(QStringLiteral("/proc/%1/maps").arg(m_process.processId()));
        for (const QByteArray& line : maps.split('\n')) {
            const int slash = line.indexOf('/');
            if (slash >= 0 && !files.contains(QString::fromUtf8(line.mid(slash))))
                files.append(QString::fromUtf8(line.mid(slash)));
        }
        return files;
    }

    // What to look at when the window did not show: a message box at start-up (such as "USB
    // FAILED!" where Devlink or Devcore was not found) waits for an answer nobody gives.
    QString report()
    {
        const QStringList devices = mappedFiles().filter(QStringLiteral("/libdev"));
        return QStringLiteral("no main window; output: %1\nerrors: %2\nDevlink and Devcore loaded: %3")
            .arg(QString::fromUtf8(m_output), QString::fromLocal8Bit(m_process.readAllStandardError()),
                 devices.isEmpty() ? QStringLiteral("none") : devices.join(u' '));
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

void writeSettings(const QString& home, int chronoType)
{
    QSettings s(home + QStringLiteral("/.config/Velmora/Velmora.conf"), QSettings::IniFormat);
    s.setValue(QStringLiteral("Settings/chronoType"), chronoType);
}

QStringList tipsIn(const QString& storePath)
{
    QStringList tips;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("installed"));
        db.setDatabaseName(storePath);
        if (db.open()) {
            QSqlQuery q(QStringLiteral("SELECT Tip FROM Tips"), db);
            while (q.next())
                tips.append(q.value(0).toString());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("installed"));
    return tips;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_root; // the prefix inside DESTDIR

    QString installed(const QString& relative) const { return m_root + u'/' + relative; }
    QString home(const QString& name) const { return m_dir.filePath(QStringLiteral("home-") + name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_dir.filePath(QStringLiteral("root")));
        const auto [code, output] = run(QStringLiteral(CMAKE_COMMAND), {QStringLiteral("--install"), kBuildDir}, env);
        QVERIFY2(code == 0, qPrintable(output));
        m_root = m_dir.filePath(QStringLiteral("root")) + kPrefix;
    }

    void everyFileInItsPlace()
    {
        const QStringList files{
            QStringLiteral("bin/velmora"),
            QStringLiteral("bin/velmora-chrono-sim"),
            QStringLiteral("bin/velmora-relay"),
            kLibDir + QStringLiteral("/libdevlink.so"),
            kLibDir + QStringLiteral("/libdevcore.so"),
            kLibDir + QStringLiteral("/velmora/devcore-sim/libdevcore.so"),
            QStringLiteral("share/velmora/shotok.wav"),
            QStringLiteral("share/velmora/seed/projectiles.tsv"),
            QStringLiteral("share/velmora/seed/guns.tsv"),
            QStringLiteral("share/velmora/seed/tips.txt"),
            QStringLiteral("share/applications/velmora.desktop"),
            QStringLiteral("share/icons/hicolor/scalable/apps/velmora.svg"),
            QStringLiteral("share/metainfo/org.velmora.velmora.metainfo.xml"),
            QStringLiteral("share/doc/velmora/copyright"),
            QStringLiteral("lib/udev/rules.d/70-velmora-ced-m2.rules"),
            QStringLiteral("lib/systemd/system/velmora-relay.service"),
        };
        for (const QString& f : files)
            QVERIFY2(QFileInfo(installed(f)).isFile(), qPrintable(f));
        for (const QString& program : files.mid(0, 3))
            QVERIFY2(QFileInfo(installed(program)).isExecutable(), qPrintable(program));
        // The library folder holds Devcore over hidapi; the simulated one stays in its own folder.
        QVERIFY(contents(installed(kLibDir + QStringLiteral("/libdevcore.so"))).contains("libhidapi-hidraw"));
        QVERIFY(
            !contents(installed(kLibDir + QStringLiteral("/velmora/devcore-sim/libdevcore.so"))).contains("hidapi"));
    }

    void theProgramsLookUpLandsOnTheInstalledFiles()
    {
        const QString bin = installed(QStringLiteral("bin"));
        QCOMPARE(install_paths::libraryFolder(bin), installed(kLibDir));
        QCOMPARE(install_paths::findDataFile(QStringLiteral("shotok.wav"), bin),
                 installed(QStringLiteral("share/velmora/shotok.wav")));
        QCOMPARE(install_paths::findDataFile(QStringLiteral("seed/guns.tsv"), bin),
                 installed(QStringLiteral("share/velmora/seed/guns.tsv")));
    }

    void dataBesideTheProgramComesFirst()
    {
        QTemporaryDir tree;
        const QString bin = tree.filePath(QStringLiteral("bin"));
        const QString shared = install_paths::dataFolder(bin);
        QCOMPARE(shared, tree.filePath(QStringLiteral("share/velmora")));
        QVERIFY(writeFile(shared + QStringLiteral("/shotok.wav"), "shared"));
        QCOMPARE(install_paths::findDataFile(QStringLiteral("shotok.wav"), bin),
                 shared + QStringLiteral("/shotok.wav"));
        QVERIFY(writeFile(bin + QStringLiteral("/shotok.wav"), "beside"));
        QCOMPARE(install_paths::findDataFile(QStringLiteral("shotok.wav"), bin), bin + QStringLiteral("/shotok.wav"));
        // A folder of that name is not the file; nothing found is an empty answer.
        QVERIFY(QDir(bin).mkpath(QStringLiteral("seed/tips.txt")));
        QCOMPARE(install_paths::findDataFile(QStringLiteral("seed/tips.txt"), bin), QString());
    }

    void noRunPathLeadsIntoTheBuildFolder()
    {
        const QStringList elfs{QStringLiteral("bin/velmora"),
                               QStringLiteral("bin/velmora-chrono-sim"),
                               QStringLiteral("bin/velmora-relay"),
                               kLibDir + QStringLiteral("/libdevlink.so"),
                               kLibDir + QStringLiteral("/libdevcore.so"),
                               kLibDir + QStringLiteral("/velmora/devcore-sim/libdevcore.so")};
        for (const QString& f : elfs) {
            const auto [code, dynamic] = run(QStringLiteral("readelf"), {QStringLiteral("-d"), installed(f)});
            QVERIFY2(code == 0, qPrintable(dynamic));
            for (const QString& line : dynamic.split(u'\n'))
                if (line.contains(QStringLiteral("PATH)")))
                    QVERIFY2(!line.contains(kBuildDir), qPrintable(f + QStringLiteral(": ") + line));
        }
        // Devlink finds Devcore beside itself wherever the two are installed.
        const auto [code, devlink] = run(QStringLiteral("readelf"),
                                         {QStringLiteral("-d"), installed(kLibDir + QStringLiteral("/libdevlink.so"))});
        QVERIFY(devlink.contains(QStringLiteral("[$ORIGIN]")));
    }

    void desktopEntryMetainfoRuleAndService()
    {
        const auto [desktopCode, desktop] = run(QStringLiteral("desktop-file-validate"),
                                                {installed(QStringLiteral("share/applications/velmora.desktop"))});
        QVERIFY2(desktopCode == 0 && !desktop.contains(QStringLiteral("error")), qPrintable(desktop));
        const auto [metaCode, meta] =
            run(QStringLiteral("appstreamcli"),
                {QStringLiteral("validate"), QStringLiteral("--no-net"),
                 installed(QStringLiteral("share/metainfo/org.velmora.velmora.metainfo.xml"))});
        QVERIFY2(metaCode == 0, qPrintable(meta));

        // The CED M2's vendor 1027 and product 58586, as udev writes them.
        const QByteArray rule = contents(installed(QStringLiteral("lib/udev/rules.d/70-velmora-ced-m2.rules")));
        QCOMPARE(QString::number(1027, 16).rightJustified(4, u'0'), QStringLiteral("0403"));
        QCOMPARE(QString::number(58586, 16), QStringLiteral("e4da"));
        QVERIFY(
            rule.contains(R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="e4da", TAG+="uaccess")"));

        const QString unit =
            QString::fromUtf8(contents(installed(QStringLiteral("lib/systemd/system/velmora-relay.service"))));
        QVERIFY(unit.contains(
            QStringLiteral("ExecStart=%1/bin/velmora-relay --db /var/lib/velmora-relay/relay.db serve").arg(kPrefix)));
        QVERIFY(unit.contains(QStringLiteral("\nDynamicUser=yes\n")));
        QVERIFY(unit.contains(QStringLiteral("\nStateDirectory=velmora-relay\n")));
    }

    void startsHeadlessFromAPrivateWorkingFolder()
    {
        // A tip that only the installed seed has shows that the seed was read from the share folder.
        const QByteArray marker = "Installed seed files are read before the program's own copy.";
        QVERIFY(writeFile(installed(QStringLiteral("share/velmora/seed/tips.txt")), "\n" + marker + "\n",
                          QIODevice::WriteOnly | QIODevice::Append));
        const QString h = home(QStringLiteral("shell")), work = h + QStringLiteral("/range");
        QVERIFY(QDir().mkpath(work));
        writeSettings(h, 3); // the CED M2: Devlink and Devcore are loaded at start-up, no serial port is opened

        InstalledVelmora velmora(installed(QStringLiteral("bin/velmora")), h, work);
        QVERIFY2(velmora.waitUntilShown(), qPrintable(velmora.report()));
        const QStringList mapped = velmora.mappedFiles();
        for (const QString& library : {QStringLiteral("libdevlink.so"), QStringLiteral("libdevcore.so")})
            QVERIFY2(mapped.contains(installed(kLibDir + u'/' + library)), qPrintable(mapped.join(u'\n')));
        for (const QString& file : mapped)
            QVERIFY2(!file.startsWith(kBuildDir + u'/'), qPrintable(file));

        QVERIFY(tipsIn(work + QStringLiteral("/pellet.store")).contains(QString::fromUtf8(marker)));
    }

    void startsFromTheHomeFolderAsTheMenuDoes()
    {
        const QString h = home(QStringLiteral("menu"));
        QVERIFY(QDir().mkpath(h));
        writeSettings(h, 3);
        InstalledVelmora velmora(installed(QStringLiteral("bin/velmora")), h, h);
        QVERIFY2(velmora.waitUntilShown(), qPrintable(velmora.report()));
        QVERIFY(QFileInfo::exists(h + QStringLiteral("/.local/share/Velmora/Velmora/pellet.store")));
        QVERIFY(!QFileInfo::exists(h + QStringLiteral("/pellet.store")));
    }
};

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
