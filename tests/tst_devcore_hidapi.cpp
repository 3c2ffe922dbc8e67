// The hidapi build of Devcore loads and answers on a machine without any HID device in reach.
#include <QElapsedTimer>
#include <QTest>
#include <dlfcn.h>

class TestDevcoreHidapi : public QObject {
    Q_OBJECT
private slots:
    void loadsAndFindsNothingQuickly()
    {
        void* library = dlopen(DEVCORE_HIDAPI, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(library, dlerror());
        auto init = reinterpret_cast<int32_t (*)()>(dlsym(library, "Init"));
        auto browse = reinterpret_cast<void (*)(int32_t, char*)>(dlsym(library, "Browse"));
        auto setMethod = reinterpret_cast<void (*)(int32_t, int16_t)>(dlsym(library, "SetMatchMethod"));
        auto setVid = reinterpret_cast<void (*)(int32_t, int32_t)>(dlsym(library, "SetMatchVid"));
        auto connectToPath = reinterpret_cast<int32_t (*)(int32_t, char*)>(dlsym(library, "ConnectToPath"));
        auto connected = reinterpret_cast<uint8_t (*)(int32_t)>(dlsym(library, "GetConnected"));
        auto read = reinterpret_cast<void (*)(int32_t, uint8_t*, int32_t*)>(dlsym(library, "Read"));
        auto uninit = reinterpret_cast<void (*)(int32_t)>(dlsym(library, "Uninit"));
        for (const char* name : {"ReadT", "ARead", "WriteT", "AWrite", "GetUsageFromPath", "SetConnected",
                                 "GetDevicePath", "GetDescriptStr", "GetFeature", "SetFeature"})
            QVERIFY2(dlsym(library, name), name);
        QVERIFY(init && browse && setMethod && setVid && connectToPath && connected && read && uninit);
        QElapsedTimer timer;
        timer.start();
        const int32_t handle = init();
        QVERIFY(handle > 0);
        // A vendor no device has: nothing matches, so the path is empty.
        setMethod(handle, 2);
        setVid(handle, 0xFFFE);
        char path[255];
        std::memset(path, ' ', sizeof path);
        browse(handle, path);
        QCOMPARE(path[0], '\0');
        char missing[] = "/dev/hidraw-none";
        QVERIFY(connectToPath(handle, missing) != 0);
        QCOMPARE(int(connected(handle)), 0);
        uint8_t buffer[9] = {};
        int32_t size = 8;
        read(handle, buffer, &size);
        QCOMPARE(size, 0);
        uninit(handle);
        QVERIFY(timer.elapsed() < 5000);
        dlclose(library);
    }
};

QTEST_GUILESS_MAIN(TestDevcoreHidapi)
#include "tst_devcore_hidapi.moc"
