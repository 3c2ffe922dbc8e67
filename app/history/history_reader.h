#pragma once

#include "chart/chart_series.h"

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <vector>

// One archived string read back from its CSV file. Files a user has edited are read as far as
// they can be: lines that cannot be read are passed over and named in `problem`, and a file that
// cannot be read at all is still listed, with its problem and no shots.
struct ArchivedString {
    QString path;
    QDateTime when; // the first shot's date and time, else the file's
    QString gun;
    QString projectile;
    double grains = 0; // the first shot's weight in grains (for the IPSC factor)
    int gunType = -1;   // the gun type it was shot with, when the archive's index knows it
    QString weightUnit; // "Grains" or "Grammes", as it was shot
    std::vector<ChartShot> shots;
    QString problem; // empty when every line was read
    QString source; // an imported string's device or format and file name; empty for captured ones
    QString label;  // the user's name for the string in comparisons (charge, pellet, tune)

    // A name for the string in lists and legends: date, time, gun and projectile.
    QString title() const;
};

// Reads the CSV text of a string line by line, with memory for one line. The numbers are those of
// the file: points as decimal marks, or commas in a file with ";" between its fields.
ArchivedString parseArchivedString(QIODevice& in);
ArchivedString parseArchivedString(const QByteArray& bytes);
// Reads one file; never fails.
ArchivedString readArchivedString(const QString& path);
// Every "*.csv" of the folder, newest first.
std::vector<ArchivedString> readHistoryFolder(const QString& folder);
