// Saving a string recorded through the real shot path, compared byte for byte with the files
// in tests/golden. VELMORA_UPDATE_GOLDEN=1 rewrites them (look at the difference before committing).
#include "data_options/frm_pellet.h"
#include "main_window/capture_files.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/frm_saved.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "services/file_chooser.h"
#include "shot/record_shot.h"
#include "test_app.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Whether another process finds a lock on the file (POSIX locks are invisible to their owner).
bool lockedForOthers(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = ::open(name.constData(), O_RDWR);
        struct flock probe = {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        _exit(fd >= 0 && fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void compareWithGolden(const QString& written, const QString& golden)
{
    const QString goldenPath = QStringLiteral(VELMORA_GOLDEN_DIR "/") + golden;
    const QByteArray actual = readAll(written);
    if (qEnvironmentVariableIntValue("VELMORA_UPDATE_GOLDEN") == 1) {
        QFile f(goldenPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(actual);
    }
    QCOMPARE(actual, readAll(goldenPath));
}

// Three shots a few seconds apart through the serial receive path, as a user would record them.
void recordString(TestApp& app, frmMain& m)
{
    frmPellet& p = m.pellet();
    p.txtMake->setText(QStringLiteral("Air Arms"));
    p.txtModel->setText(QStringLiteral("S400"));
    p.txtPelletMake->setText(QStringLiteral("JSB Exact, Heavy"));
    p.txtCaliber->setText(QStringLiteral(".177"));
    p.txtWeight->setText(QLocale().toString(10.34, 'f', 2));
    p.txtExtraInfo->setPlainText(QStringLiteral("Range 10m, 15C\tcalm\nWind from the left"));
    app.clock.set(QDateTime(QDate(2026, 12, 6), QTime(1, 30, 0)));
    for (const char* line : {"1,Vf801.2\r\n", "2,Vf795.7\r\n", "3,Vf808.4\r\n"}) {
        app.serial->feed(line);
        app.clock.advance(7);
    }
}

} // namespace

class TestCaptureFiles : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString saveAs(TestApp& app, frmMain& m, const QString& name, int filterIndex)
    {
        const QString path = m_dir.filePath(name);
        app.files.next = FileChooser::Choice{path, filterIndex};
        m.btnSave_Click();
        return path;
    }

private slots:
    void init() { TestApp::clearSettings(); }

    void goldenFiles_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("point") << QStringLiteral("en_GB");
        QTest::newRow("comma") << QStringLiteral("de_DE");
    }

    void goldenFiles()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        TestApp app;
        frmMain& m = app.start();
        recordString(app, m);
        QCOMPARE(m.MSFlexGrid1->Rows(), 4);
        const QString suffix = QLocale(locale).decimalPoint() == QStringLiteral(",") ? QStringLiteral("comma")
                                                                                       : QStringLiteral("point");
        compareWithGolden(saveAs(app, m, QStringLiteral("string.csv"), 1), QStringLiteral("string-%1.csv").arg(suffix));
        QCOMPARE(app.files.lastTitle, QStringLiteral("Save Shot String"));
        QCOMPARE(app.files.lastSuffix, QStringLiteral("csv"));
        QVERIFY(app.files.lastProposed.endsWith(QStringLiteral("/Save/Air Arms S400 JSB Exact Heavy -061226-013021")));
        QVERIFY(m.Text1->Text().contains(QStringLiteral("Range 10m, 15C\tcalm\r\nWind from the left\r\n")));
        const QByteArray csv = readAll(m_dir.filePath(QStringLiteral("string.csv")));
        QCOMPARE(csv.count('\n'), csv.count("\r\n")); // every line ends in CR LF, the extra text's too
        QVERIFY(!m.isEnabled());
        compareWithGolden(saveAs(app, m, QStringLiteral("string.dc"), 2), QStringLiteral("string-%1.dc").arg(suffix));
        compareWithGolden(saveAs(app, m, QStringLiteral("string.log"), 3), QStringLiteral("string-%1.log").arg(suffix));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }

    void proposedNameKeepsLettersDigitsAndSpaces()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(1, 30, 0));
        QCOMPARE(capture_files::proposedName(QStringLiteral("Air Arms"), QStringLiteral("S400"),
                                             QStringLiteral("JSB Exact"), when),
                 QStringLiteral("Air Arms S400 JSB Exact -061226-013000"));
        QCOMPARE(capture_files::proposedName(QStringLiteral("S&W"), QStringLiteral("zZ/9"), QStringLiteral("é.x"), when),
                 QStringLiteral("SW zZ9 x -061226-013000"));
    }

    void csvFollowsTheUnitsAndTurnsCommasIntoPoints()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp app;
        frmMain& m = app.start();
        m.pellet().txtPelletMake->setText(QStringLiteral("Pellet, round"));
        m.optSpeed->select(2);
        RecordShot(m, 800);
        const QString csv = QString::fromLocal8Bit(readAll(saveAs(app, m, QStringLiteral("ms.csv"), 1)));
        const QStringList lines = csv.split(QStringLiteral("\r\n"));
        QCOMPARE(lines[1].section(u',', 2, 2), QStringLiteral("Make of Gun Model of Gun Pellet. round"));
        QCOMPARE(lines[1].count(u','), 12);
        QCOMPARE(lines[4], QStringLiteral("Shots,Min m/s,Max m/s,Av m/s,Spread,Std. Dev,Min Ft.Lbf,Max Ft.Lbf,Av Ft.Lbf,"));
        QCOMPARE(lines[5].section(u',', 1, 1), QStringLiteral("243.84"));
        QVERIFY(csv.endsWith(QStringLiteral("\r\n\r\n")));
    }

    void emptyCacheFiles()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(readAll(saveAs(app, m, QStringLiteral("empty.log"), 3)), QByteArray("\r\n"));
        QCOMPARE(readAll(saveAs(app, m, QStringLiteral("empty.dc"), 2)),
                 QByteArray("2.236068,true,true,true,false,false,false,false,915,\r\nStart 06/12/2026 01:30:00\r\n"
                            "Total Strings = 1\r\nBullet Weight = 1\r\nFeet Per Second\r\n\r\nString 1\r\n"
                            "End 06/12/2026 01:30:00\r\n"));
    }

    void cancelAndFailuresAreReported()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        m.btnSave_Click(); // nothing scripted: the dialog is cancelled
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Save Cancelled"));
        QVERIFY(m.isEnabled());
        const QString unwritable = m_dir.filePath(QStringLiteral("no/such/folder/x.csv"));
        app.files.next = FileChooser::Choice{unwritable, 1};
        m.btnSave_Click();
        QVERIFY(app.prompt.shown.last().text.startsWith(QStringLiteral("The file \"")));
        QVERIFY(app.prompt.shown.last().text.contains(QStringLiteral("could not be saved")));
        QVERIFY(m.isEnabled()); // no notice
        m.pellet().txtWeight->setText(QStringLiteral("heavy"));
        app.files.next = FileChooser::Choice{m_dir.filePath(QStringLiteral("bad.log")), 3};
        m.btnSave_Click();
        QVERIFY(app.prompt.shown.last().text.startsWith(QStringLiteral("The capture could not be saved")));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("bad.log"))));
    }

    void theSaveDialogLeavesTheDatabaseLocked()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        const QStringList database{QStringLiteral("pellet.store"), QStringLiteral("pellet.store-shm")};
        for (const QString& name : database)
            QVERIFY2(lockedForOthers(name), qPrintable(name));
        // What the dialog asks about every file of the folder it shows.
        NameOnlyIconProvider icons;
        for (const QFileInfo& info : QDir::current().entryInfoList(QDir::Files)) {
            icons.icon(info);
            QVERIFY(!icons.type(info).isEmpty());
        }
        for (const QString& name : database)
            QVERIFY2(lockedForOthers(name), qPrintable(name + QStringLiteral(" lost its lock")));
    }

    void theNoticeLinksToTheGraphPage()
    {
        TestApp::setSetting(QStringLiteral("WebService"), QStringLiteral("http://club.example"));
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        saveAs(app, m, QStringLiteral("n.csv"), 1);
        auto* notice = m.findChild<frmSaved*>();
        QVERIFY(notice);
        QCOMPARE(notice->windowTitle(), QStringLiteral("Velmora - File Saved"));
        QCOMPARE(notice->lblGraphMe->toolTip(), QStringLiteral("Visit http://club.example/graphme.php"));
        notice->lblGraphMe_Click();
        QCOMPARE(app.urlOpener.opened, QList<QUrl>({QUrl(QStringLiteral("http://club.example/graphme.php"))}));
        notice->btnClose->click();
        QVERIFY(m.isEnabled());
    }
};

QTEST_MAIN(TestCaptureFiles)
#include "tst_capture_files.moc"
