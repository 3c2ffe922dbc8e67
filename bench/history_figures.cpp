// Figures of reading the history folder's files: a 64 MiB file of nothing but line ends (the
// largest file read), and a string of 40 000 shots, each read whole by the History window's
// reader. Memory is the rise of the process's peak resident set over the read.
#include "history/history_reader.h"

#include "figures.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// kB of a /proc/self/status field.
long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Time and peak memory of reading one file.
void readFigure(const char* name, const QString& path, const char* target)
{
    // Writing 5 resets the peak to the present resident set.
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly))
        reset.write("5");
    reset.close();
    const long before = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const ArchivedString s = readArchivedString(path);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const long peak = statusKb("VmHWM:");
    std::printf("| %s: read (%zu shots) | %.0f ms, peak memory +%.1f MiB | %s |\n", name, s.shots.size(), ms,
                double(peak - before) / 1024.0, target);
}

} // namespace

void historyFigures()
{
    QTemporaryDir dir;
    const QString newlines = dir.filePath(QStringLiteral("newlines.csv"));
    {
        QFile f(newlines);
        if (!f.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(1 << 20, '\n');
        for (int i = 0; i < 64; ++i)
            f.write(block);
    }
    readFigure("History file of 64 MiB of line ends", newlines, "a few MiB, under 1 s");

    const QString longest = dir.filePath(QStringLiteral("long.csv"));
    {
        QFile f(longest);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write("Shot,Date/Time,Make/Model,Grains,fps,m/s,Ft.Lbf,Joules,IPSC-F,Pellet Name,Caliber,Gun Make,Gun Model\r\n");
        for (int i = 1; i <= 40000; ++i)
            f.write(QByteArray::number(i) +
                    ",06/12/2026 01:30:00,Air Arms S400 JSB,8.44,800.00,243.84,12.00,16.27,6.8,JSB,.177,Air Arms,S400\r\n");
    }
    readFigure("History file of 40 000 shots", longest, "read whole");
}
