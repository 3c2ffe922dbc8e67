// crash-trials: the real program captures shots from the simulator and is killed with SIGKILL
// at a random moment, trial after trial. After each kill the cache on disk must hold exactly
// the first shots sent, in order, none doubled, with their numbers and times; the next start
// must replay every one of them; a normal exit must then leave the cache empty.
//   crash-trials [TRIALS] [SHOTS]   (20 and 300 by default)
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "services/regional.h"
#include "services/timestamps.h"
#include "sim_process.h"
#include "test_app.h"
#include "x_session.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <cstdio>

namespace {

struct Outcome {
    int cached = 0;
    QString failure;
};

void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

Outcome trial(XSession& x, QRandomGenerator& random, int shots)
{
    Outcome out;
    SimProcess sim({QStringLiteral("--family"), QStringLiteral("chrony")});
    if (!sim.isRunning())
        return {0, QStringLiteral("the simulator did not start")};
    TestApp::clearSettings();
    TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
    TestApp::setSetting(QStringLiteral("ShowTips"), 0);
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"), QStringLiteral("Velmora"));
        s.setValue(QStringLiteral("Ports/1"), sim.path());
    }
    QProcess velmora;
    velmora.setProcessEnvironment(x.environment());
    velmora.setWorkingDirectory(QDir::currentPath());
    const qint64 started = QDateTime::currentSecsSinceEpoch();
    velmora.start(SimProcess::binary(QStringLiteral("velmora")), {});
    if (!velmora.waitForStarted(5000))
        return {0, QStringLiteral("velmora did not start")};
    x.answer(QStringLiteral("USB FAILED!"), 800);
    QElapsedTimer wait;
    wait.start();
    while (!x.hasWindow(QStringLiteral("Velmora v1.6")) && wait.elapsed() < 10000)
        settle(50);

    QList<double> sent;
    QString burst;
    for (int i = 0; i < shots; ++i) {
        const double fps = 700 + random.bounded(2000) / 10.0;
        sent.append(fps);
        burst += QStringLiteral("%1,Vf%2\\r\\n").arg(i + 1).arg(fps, 0, 'f', 1);
    }
    if (!sim.command(QStringLiteral("raw ") + burst))
        return {0, QStringLiteral("the simulator did not send")};
    settle(int(random.bounded(400)));
    ::kill(pid_t(velmora.processId()), SIGKILL);
    velmora.waitForFinished(5000);
    const qint64 killed = QDateTime::currentSecsSinceEpoch();

    const QList<QStringList> cached = TestApp::cacheRows();
    out.cached = int(cached.size());
    if (cached.size() > sent.size())
        return {out.cached, QStringLiteral("more rows cached than shots sent")};
    qint64 previous = 0;
    for (int i = 0; i < cached.size(); ++i) {
        const qint64 stamp = cached[i][1].toLongLong();
        const qint64 wall = timestamps::unixToDate(stamp).toSecsSinceEpoch();
        if (cached[i][0] != QString::number(i + 1) || cached[i][3] != regional::format3(sent[i]) || stamp < previous ||
            wall < started - 1 || wall > killed + 1)
            return {out.cached, QStringLiteral("row %1 is not the shot sent: %2").arg(i + 1).arg(cached[i].join(u' '))};
        previous = stamp;
    }

    // The next start, on the same files: every cached shot comes back.
    TestApp app(true);
    frmMain& m = app.start();
    if (!cached.isEmpty() &&
        !app.prompt.texts().contains(QStringLiteral("It Looks like you crashed. %1 shots have been recovered.").arg(cached.size())))
        return {out.cached, QStringLiteral("no recovery message for %1 shots").arg(cached.size())};
    if (m.MSFlexGrid1->Rows() - 1 != cached.size())
        return {out.cached, QStringLiteral("%1 rows replayed for %2 cached").arg(m.MSFlexGrid1->Rows() - 1).arg(cached.size())};
    for (int i = 0; i < cached.size(); ++i)
        if (m.MSFlexGrid1->TextMatrix(i + 1, 0) != cached[i][0] ||
            m.MSFlexGrid1->TextMatrix(i + 1, 4) != regional::format2(sent[i]) ||
            m.MSFlexGrid1->TextMatrix(i + 1, 1) !=
                regional::shotDateTime(timestamps::unixToDate(cached[i][1].toLongLong()), true))
            return {out.cached, QStringLiteral("replayed row %1 differs").arg(i + 1)};
    app.exit();
    if (!TestApp::cacheRows().isEmpty())
        return {out.cached, QStringLiteral("the cache was not emptied by a normal exit")};
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const int trials = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int shots = argc > 2 ? std::max(1, atoi(argv[2])) : 300;
    XSession x;
    if (!x.isRunning()) {
        std::fprintf(stderr, "crash-trials: Xvfb and xdotool are needed\n");
        return 2;
    }
    QRandomGenerator random{quint32(QDateTime::currentMSecsSinceEpoch())};
    int failures = 0, total = 0, least = shots, most = 0;
    for (int t = 1; t <= trials; ++t) {
        QFile::remove(PelletStore::defaultPath());
        const Outcome o = trial(x, random, shots);
        total += o.cached;
        least = std::min(least, o.cached);
        most = std::max(most, o.cached);
        std::printf("trial %2d: %3d of %d shots on disk at the kill, %s\n", t, o.cached, shots,
                    o.failure.isEmpty() ? "all replayed, cache emptied at exit" : qPrintable(o.failure));
        std::fflush(stdout);
        if (!o.failure.isEmpty())
            ++failures;
    }
    std::printf("\n%d trials of %d shots: %d on disk at the kill (fewest %d, most %d, mean %.1f); "
                "lost 0 of those: %s\n",
                trials, shots, total, least, most, double(total) / trials, failures ? "NO" : "yes");
    std::printf("trials: %d passed, %d failed\n", trials - failures, failures);
    return failures ? 1 : 0;
}
