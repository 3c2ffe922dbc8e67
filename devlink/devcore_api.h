#pragma once

#include <cstdint>

// Devcore's exported functions, looked up by name in "libdevcore.so" on first use (the library
// search path decides which build: the hidapi one or the simulated CED M2).
struct DevcoreApi {
    using StatusProc = void (*)(int32_t);
    using TransferProc = void (*)(int32_t, int32_t);

    int32_t (*Init)();
    void (*Uninit)(int32_t);
    int32_t (*Connect)(int32_t);
    int32_t (*ConnectToPath)(int32_t, char*);
    void (*Browse)(int32_t, char*);
    void (*Disconnect)(int32_t);
    void (*Read)(int32_t, uint8_t*, int32_t*);
    void (*Write)(int32_t, uint8_t*, int32_t*);
    uint8_t (*GetFeature)(int32_t, uint8_t*, int32_t);
    uint8_t (*SetFeature)(int32_t, uint8_t*, int32_t);
    int32_t (*GetVid)(int32_t);
    int32_t (*GetPid)(int32_t);
    int16_t (*GetVer)(int32_t);
    int16_t (*GetUsage)(int32_t);
    int16_t (*GetUsagePage)(int32_t);
    void (*GetManufacturer)(int32_t, char*);
    void (*GetProduct)(int32_t, char*);
    void (*GetSerial)(int32_t, char*);
    uint8_t (*GetConnected)(int32_t);
    uint8_t (*GetReportID)(int32_t);
    void (*SetReportID)(int32_t, uint8_t);
    int32_t (*GetMatchVid)(int32_t);
    int32_t (*GetMatchPid)(int32_t);
    int32_t (*GetMatchVersion)(int32_t);
    int32_t (*GetTimeOut)(int32_t);
    void (*SetMatchVid)(int32_t, int32_t);
    void (*SetMatchPid)(int32_t, int32_t);
    void (*SetMatchVersion)(int32_t, int32_t);
    void (*SetTimeOut)(int32_t, int32_t);
    int16_t (*GetMatchMethod)(int32_t);
    void (*SetMatchMethod)(int32_t, int16_t);
    void (*GetMatchManufacturer)(int32_t, char*);
    void (*GetMatchProduct)(int32_t, char*);
    void (*GetMatchSerial)(int32_t, char*);
    void (*SetMatchManufacturer)(int32_t, const char*);
    void (*SetMatchProduct)(int32_t, const char*);
    void (*SetMatchSerial)(int32_t, const char*);
    void (*SetOnConnectSuccess)(int32_t, StatusProc);
    void (*SetOnConnectFailure)(int32_t, StatusProc);
    void (*SetOnReadSuccess)(int32_t, TransferProc);
    void (*SetOnReadFailure)(int32_t, TransferProc);
    void (*SetOnWriteSuccess)(int32_t, TransferProc);
    void (*SetOnWriteFailure)(int32_t, TransferProc);
    void (*SetOnDisconnect)(int32_t, StatusProc);
    int32_t (*GetVidFromPath)(const char*);
    int32_t (*GetPidFromPath)(const char*);
    int32_t (*GetVersionFromPath)(const char*);
    void (*GetManufacturerFromPath)(const char*, char*);
    void (*GetProductFromPath)(const char*, char*);
    void (*GetSerialFromPath)(const char*, char*);
    // Declared for completeness; the control calls none of these.
    void (*ReadT)(int32_t, uint8_t*, int32_t*, int32_t);
    void (*ARead)(int32_t, uint8_t*, int32_t*);
    void (*WriteT)(int32_t, uint8_t*, int32_t*, int32_t);
    void (*AWrite)(int32_t, uint8_t*, int32_t*);
    int32_t (*GetUsageFromPath)(const char*);
    void (*SetConnected)(int32_t, uint8_t);
    void (*GetDevicePath)(int32_t, char*);
    void (*GetDescriptStr)(int32_t, int32_t, char*);

    // The table, or null when the library or one of its functions cannot be found.
    static const DevcoreApi* get();
    static constexpr int kTextSize = 255;
};
