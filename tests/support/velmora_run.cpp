#include "velmora_run.h"

#include "history/history_reader.h"
#include "history/string_archive.h"
#include "sim_process.h"
#include "storage/pellet_store.h"
#include "test_app.h"
#include "x_session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <algorithm>

namespace velmora_run {

bool waitForCacheRows(int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (TestApp::cacheRows().size() >= count)
            return true;
        QTest::qWait(20);
    }
    return false;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList archives()
{
    return QDir(StringArchive::defaultFolder()).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
}

void clearArchive()
{
    QFile::remove(StringArchive::defaultFolder());
    QDir(StringArchive::defaultFolder()).removeRecursively();
}

void prepare(const SimProcess& sim)
{
    TestApp::clearSettings();
    TestApp::setSetting(QStringLiteral("chronoType"), 1);
    TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
    TestApp::setSetting(QStringLiteral("ShowTips"), 0);
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"),
                    QStringLiteral("Velmora"));
        s.setValue(QStringLiteral("Ports/1"), sim.path());
    }
    QFile::remove(PelletStore::defaultPath());
    QFile::remove(PelletStore::defaultPath() + QStringLiteral("-wal"));
    QFile::remove(PelletStore::defaultPath() + QStringLiteral("-shm"));
    clearArchive();
}

bool start(QProcess& velmora, XSession& x, const QProcessEnvironment& env)
{
    velmora.setProcessEnvironment(env);
    velmora.setWorkingDirectory(QDir::currentPath());
    velmora.start(SimProcess::binary(QStringLiteral("velmora")), {});
    if (!velmora.waitForStarted(5000))
        return false;
    x.answer(QStringLiteral("USB FAILED!"), 1000);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000 && !x.hasWindow(QStringLiteral("Velmora v1.6")))
        QTest::qWait(50);
    return x.hasWindow(QStringLiteral("Velmora v1.6"));
}

bool exit(QProcess& velmora, XSession& x)
{
    return x.press(QStringLiteral("Velmora v1.6"), {QStringLiteral("alt+m"), QStringLiteral("e")},
                   velmora.processId()) &&
           x.answer(QStringLiteral("Velmora"));
}

QProcessEnvironment withDiskShim(QProcessEnvironment env)
{
    env.insert(QStringLiteral("LD_PRELOAD"), SimProcess::binary(QStringLiteral("velmora-disk-shim.so")));
    // A sanitizer build's runtime must otherwise come first of all libraries.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    return env;
}

QList<QList<double>> archivedVelocities()
{
    QList<QList<double>> strings;
    for (const QString& name : archives()) {
        const ArchivedString read = readArchivedString(QDir(StringArchive::defaultFolder()).filePath(name));
        QList<double> v;
        for (const auto& shot : read.shots)
            v.append(shot.fps);
        strings.append(v);
    }
    // Names of the same second sort before their first ("x (2).csv" < "x.csv"): by content instead.
    std::sort(strings.begin(), strings.end());
    return strings;
}

} // namespace velmora_run
