#pragma once

#include <QString>
#include <vector>

// Where recorded shots are kept against a crash: the Cache table of the local database.
// A store that keeps nothing stands in where there is none.
class ShotStore {
public:
    // One row as written: the number, the time stamp, and the weight and velocity as texts.
    struct CacheRow {
        qint16 shot = 0;
        qint32 timestamp = 0;
        QString grains; // regional number text
        QString fps;    // "0.000"
    };
    // One row as read back for a replay, in the order of recording.
    struct CachedShot {
        qint16 shot = 0;
        qint64 timestamp = 0;
        double fps = 0;
    };

    virtual ~ShotStore() = default;

    // Appends one row, on disk when it returns; gives the database's error text, or empty.
    virtual QString insertCacheRow(const CacheRow& row) = 0;
    // Every cached row in the order of recording.
    virtual std::vector<CachedShot> cachedShots() = 0;
    // Empties the cache at a normal exit; failures are ignored.
    virtual void emptyCache() = 0;
};

class NullShotStore : public ShotStore {
public:
    QString insertCacheRow(const CacheRow&) override { return {}; }
    std::vector<CachedShot> cachedShots() override { return {}; }
    void emptyCache() override {}
};
