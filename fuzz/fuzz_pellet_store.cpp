// "pellet.store" contents the program reads back: a whole file of these bytes, or a database
// whose cache and reference tables hold these texts, then start-up with recovery.
#include "fuzz_app.h"
#include "main_window/frm_main.h"
#include "storage/pellet_store.h"
#include "test_app.h"

#include <QFile>
#include <QSqlQuery>

VELMORA_FUZZ_WITH_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ensureApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QFile::remove(PelletStore::defaultPath());
    QFile::remove(PelletStore::defaultPath() + QStringLiteral("-wal"));
    QFile::remove(PelletStore::defaultPath() + QStringLiteral("-shm"));
    if (size > 0 && data[0] % 2 == 0) {
        QFile file(PelletStore::defaultPath());
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes.mid(1));
    } else {
        PelletStore store;
        (void)store.openStore(PelletStore::defaultPath());
        const QList<QByteArray> fields = bytes.mid(1).split('\n');
        for (qsizetype i = 0; i + 3 < fields.size() && i < 64; i += 4) {
            QSqlQuery q(store.storeDatabase);
            q.prepare(QStringLiteral("INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES (?, ?, ?, ?)"));
            for (int k = 0; k < 4; ++k)
                q.addBindValue(QString::fromLatin1(fields[i + k]));
            q.exec();
            q.prepare(QStringLiteral("INSERT INTO Projectiles (Name, Caliber, Metric) VALUES (?, ?, ?)"));
            for (int k = 0; k < 3; ++k)
                q.addBindValue(QString::fromLatin1(fields[i + k]));
            q.exec();
        }
    }
    TestApp::clearSettings();
    TestApp app(true);
    app.start();
    return 0;
}
