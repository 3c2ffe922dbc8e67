// Devcore with a simulated CED M2 behind it: the same exports as the hidapi build, so a host
// that finds this library first (by the library search path) talks to the simulation.
//
// The device is vendor 1027, product 58586, version 0x0100, "Competitive Edge Dynamics",
// "CED Chronograph", serial "SIM00001", at the path "/sim/ced-m2". Its scenario is read from
// the file named by the environment variable DEVCORE_SIM_SCENARIO when the first slot is made
// (ced_device.h describes the format), and can be driven from a test in the same process
// through the Sim* exports below.
#include "ced_device.h"
#include "devcore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

namespace {

const char* const kPath = "/sim/ced-m2";
const int32_t kVid = 1027, kPid = 58586, kVersion = 0x0100;
const char* const kManufacturer = "Competitive Edge Dynamics";
const char* const kProduct = "CED Chronograph";
const char* const kSerial = "SIM00001";
constexpr int kMaxSlots = 64;

struct Slot {
    bool used = false;
    bool open = false;
    int32_t matchVid = 0, matchPid = 0, matchVersion = 0, timeOut = 1000;
    int16_t matchMethod = 0;
    std::string matchManufacturer, matchProduct, matchSerial;
    uint8_t reportId = 0;
    DevcoreStatusProc onConnectSuccess = nullptr, onConnectFailure = nullptr, onDisconnect = nullptr;
    DevcoreTransferProc onReadSuccess = nullptr, onReadFailure = nullptr, onWriteSuccess = nullptr,
                        onWriteFailure = nullptr;
};

std::recursive_mutex g_lock;
Slot g_slots[kMaxSlots];
CedDevice g_device;
bool g_scenarioRead = false;

Slot* slotOf(int32_t handle)
{
    if (handle < 1 || handle > kMaxSlots || !g_slots[handle - 1].used)
        return nullptr;
    return &g_slots[handle - 1];
}

void copyText(char* out, const std::string& text)
{
    if (out)
        std::snprintf(out, DEVCORE_TEXT_SIZE, "%s", text.c_str());
}

bool matches(const Slot& s)
{
    if ((s.matchMethod & DEVCORE_MATCH_PID) && s.matchPid != kPid)
        return false;
    if ((s.matchMethod & DEVCORE_MATCH_VID) && s.matchVid != kVid)
        return false;
    if ((s.matchMethod & DEVCORE_MATCH_VERSION) && s.matchVersion != kVersion)
        return false;
    if ((s.matchMethod & DEVCORE_MATCH_MANUFACTURER) && s.matchManufacturer != kManufacturer)
        return false;
    if ((s.matchMethod & DEVCORE_MATCH_PRODUCT) && s.matchProduct != kProduct)
        return false;
    if ((s.matchMethod & DEVCORE_MATCH_SERIAL) && s.matchSerial != kSerial)
        return false;
    return true;
}

void readScenarioOnce()
{
    if (g_scenarioRead)
        return;
    g_scenarioRead = true;
    const char* file = std::getenv("DEVCORE_SIM_SCENARIO");
    if (!file || !*file)
        return;
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    if (!in || !g_device.loadScenario(text.str()))
        std::fprintf(stderr, "devcore (simulated CED M2): cannot read the scenario %s\n", file);
}

int32_t open(Slot& s, const char* path)
{
    s.open = false;
    int32_t result = DEVCORE_NO_DEVICE;
    if (path && std::strcmp(path, kPath) == 0 && g_device.present()) {
        s.open = true;
        g_device.opened();
        result = DEVCORE_OK;
    }
    if (result == DEVCORE_OK && s.onConnectSuccess)
        s.onConnectSuccess(result);
    else if (result != DEVCORE_OK && s.onConnectFailure)
        s.onConnectFailure(result);
    return result;
}

// A device that went away is noticed on the first failed transfer.
void noticeLoss(Slot& s)
{
    if (s.open && !g_device.present()) {
        s.open = false;
        if (s.onDisconnect)
            s.onDisconnect(DEVCORE_IO_FAILED);
    }
}

void readWithin(int32_t handle, uint8_t* buffer, int32_t* size, int32_t milliseconds)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    Slot* s = slotOf(handle);
    if (!size)
        return;
    const int32_t wanted = *size;
    *size = 0;
    if (!s || !buffer || wanted < 0)
        return;
    // A vanished device keeps the bus waiting for the whole time-out.
    const bool attached = s->open || !g_device.present();
    const auto report = attached ? g_device.reply(milliseconds) : std::nullopt;
    if (report) {
        const int32_t n = std::min<int32_t>(wanted, static_cast<int32_t>(report->size()));
        std::memcpy(buffer, report->data(), static_cast<size_t>(n));
        *size = n;
        if (s->onReadSuccess)
            s->onReadSuccess(DEVCORE_OK, n);
        return;
    }
    if (s->onReadFailure)
        s->onReadFailure(s->open ? DEVCORE_TIMED_OUT : DEVCORE_NO_DEVICE, 0);
    noticeLoss(*s);
}

} // namespace

extern "C" {

DEVCORE_EXPORT int32_t Init(void)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    readScenarioOnce();
    for (int i = 0; i < kMaxSlots; ++i)
        if (!g_slots[i].used) {
            g_slots[i] = Slot();
            g_slots[i].used = true;
            return i + 1;
        }
    return 0;
}

DEVCORE_EXPORT void Uninit(int32_t handle)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (Slot* s = slotOf(handle))
        *s = Slot();
}

DEVCORE_EXPORT int32_t Connect(int32_t handle)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    Slot* s = slotOf(handle);
    if (!s)
        return DEVCORE_BAD_HANDLE;
    return open(*s, matches(*s) ? kPath : nullptr);
}

DEVCORE_EXPORT int32_t ConnectToPath(int32_t handle, char* path)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    Slot* s = slotOf(handle);
    return s ? open(*s, path) : DEVCORE_BAD_HANDLE;
}

DEVCORE_EXPORT void Browse(int32_t handle, char* buffer)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    Slot* s = slotOf(handle);
    copyText(buffer, s && matches(*s) && g_device.present() ? kPath : "");
}

DEVCORE_EXPORT void Disconnect(int32_t handle)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (Slot* s = slotOf(handle))
        s->open = false;
}

DEVCORE_EXPORT void Read(int32_t handle, uint8_t* buffer, int32_t* size)
{
    Slot* s = slotOf(handle);
    readWithin(handle, buffer, size, s ? s->timeOut : 0);
}

DEVCORE_EXPORT void ReadT(int32_t handle, uint8_t* buffer, int32_t* size, int32_t milliseconds)
{
    readWithin(handle, buffer, size, milliseconds);
}

DEVCORE_EXPORT void ARead(int32_t handle, uint8_t* buffer, int32_t* size)
{
    readWithin(handle, buffer, size, 0);
}

DEVCORE_EXPORT void Write(int32_t handle, uint8_t* buffer, int32_t* size)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    Slot* s = slotOf(handle);
    if (!size)
        return;
    const int32_t wanted = *size;
    *size = 0;
    if (!s || !buffer || wanted < 0)
        return;
    if (!s->open) {
        if (s->onWriteFailure)
            s->onWriteFailure(DEVCORE_NO_DEVICE, 0);
        return;
    }
    // The host cannot tell yet that a device went away: the bytes simply go nowhere.
    g_device.request(buffer, wanted);
    *size = wanted;
    if (s->onWriteSuccess)
        s->onWriteSuccess(DEVCORE_OK, wanted);
}

DEVCORE_EXPORT void WriteT(int32_t handle, uint8_t* buffer, int32_t* size, int32_t) { Write(handle, buffer, size); }
DEVCORE_EXPORT void AWrite(int32_t handle, uint8_t* buffer, int32_t* size) { Write(handle, buffer, size); }

DEVCORE_EXPORT uint8_t GetFeature(int32_t handle, uint8_t* buffer, int32_t size)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    Slot* s = slotOf(handle);
    if (!s || !s->open || !buffer || size < 1)
        return 0;
    std::memset(buffer, 0, static_cast<size_t>(size) + 1);
    buffer[0] = s->reportId;
    buffer[1] = static_cast<uint8_t>(g_device.strings().size());
    return 1;
}

DEVCORE_EXPORT uint8_t SetFeature(int32_t handle, uint8_t* buffer, int32_t size)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    Slot* s = slotOf(handle);
    return s && s->open && buffer && size >= 1;
}

static bool openSlot(int32_t handle)
{
    Slot* s = slotOf(handle);
    return s && s->open;
}

DEVCORE_EXPORT int32_t GetVid(int32_t handle) { return openSlot(handle) ? kVid : 0; }
DEVCORE_EXPORT int32_t GetPid(int32_t handle) { return openSlot(handle) ? kPid : 0; }
DEVCORE_EXPORT int16_t GetVer(int32_t handle) { return openSlot(handle) ? int16_t(kVersion) : int16_t(0); }
DEVCORE_EXPORT int16_t GetUsage(int32_t handle) { return openSlot(handle) ? int16_t(1) : int16_t(0); }
DEVCORE_EXPORT int16_t GetUsagePage(int32_t handle) { return openSlot(handle) ? int16_t(-256) : int16_t(0); }
DEVCORE_EXPORT void GetManufacturer(int32_t handle, char* buffer) { copyText(buffer, openSlot(handle) ? kManufacturer : ""); }
DEVCORE_EXPORT void GetProduct(int32_t handle, char* buffer) { copyText(buffer, openSlot(handle) ? kProduct : ""); }
DEVCORE_EXPORT void GetSerial(int32_t handle, char* buffer) { copyText(buffer, openSlot(handle) ? kSerial : ""); }

DEVCORE_EXPORT uint8_t GetConnected(int32_t handle)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return openSlot(handle);
}

DEVCORE_EXPORT uint8_t GetReportID(int32_t handle)
{
    Slot* s = slotOf(handle);
    return s ? s->reportId : 0;
}

DEVCORE_EXPORT void SetReportID(int32_t handle, uint8_t id)
{
    if (Slot* s = slotOf(handle))
        s->reportId = id;
}

#define SIM_FIELD(Name, field, type)                                                                                 \
    DEVCORE_EXPORT type Get##Name(int32_t handle)                                                                    \
    {                                                                                                                \
        Slot* s = slotOf(handle);                                                                                    \
        return s ? s->field : type(0);                                                                               \
    }                                                                                                                \
    DEVCORE_EXPORT void Set##Name(int32_t handle, type value)                                                        \
    {                                                                                                                \
        if (Slot* s = slotOf(handle))                                                                                \
            s->field = value;                                                                                        \
    }
SIM_FIELD(MatchVid, matchVid, int32_t)
SIM_FIELD(MatchPid, matchPid, int32_t)
SIM_FIELD(MatchVersion, matchVersion, int32_t)
SIM_FIELD(TimeOut, timeOut, int32_t)
SIM_FIELD(MatchMethod, matchMethod, int16_t)

#define SIM_TEXT(Name, field)                                                                                        \
    DEVCORE_EXPORT void Get##Name(int32_t handle, char* buffer)                                                      \
    {                                                                                                                \
        Slot* s = slotOf(handle);                                                                                    \
        copyText(buffer, s ? s->field : std::string());                                                              \
    }                                                                                                                \
    DEVCORE_EXPORT void Set##Name(int32_t handle, const char* text)                                                  \
    {                                                                                                                \
        if (Slot* s = slotOf(handle))                                                                                \
            s->field = text ? std::string(text).substr(0, DEVCORE_TEXT_SIZE - 1) : std::string();                   \
    }
SIM_TEXT(MatchManufacturer, matchManufacturer)
SIM_TEXT(MatchProduct, matchProduct)
SIM_TEXT(MatchSerial, matchSerial)

#define SIM_NOTIFY(Name, field, type)                                                                                \
    DEVCORE_EXPORT void SetOn##Name(int32_t handle, type proc)                                                       \
    {                                                                                                                \
        if (Slot* s = slotOf(handle))                                                                                \
            s->field = proc;                                                                                         \
    }
SIM_NOTIFY(ConnectSuccess, onConnectSuccess, DevcoreStatusProc)
SIM_NOTIFY(ConnectFailure, onConnectFailure, DevcoreStatusProc)
SIM_NOTIFY(ReadSuccess, onReadSuccess, DevcoreTransferProc)
SIM_NOTIFY(ReadFailure, onReadFailure, DevcoreTransferProc)
SIM_NOTIFY(WriteSuccess, onWriteSuccess, DevcoreTransferProc)
SIM_NOTIFY(WriteFailure, onWriteFailure, DevcoreTransferProc)
SIM_NOTIFY(Disconnect, onDisconnect, DevcoreStatusProc)

static bool isSimPath(const char* path)
{
    return path && std::strcmp(path, kPath) == 0;
}

DEVCORE_EXPORT int32_t GetVidFromPath(const char* path) { return isSimPath(path) ? kVid : 0; }
DEVCORE_EXPORT int32_t GetPidFromPath(const char* path) { return isSimPath(path) ? kPid : 0; }
DEVCORE_EXPORT int32_t GetVersionFromPath(const char* path) { return isSimPath(path) ? kVersion : 0; }
DEVCORE_EXPORT int32_t GetUsageFromPath(const char* path) { return isSimPath(path) ? 1 : 0; }
DEVCORE_EXPORT void GetManufacturerFromPath(const char* path, char* b) { copyText(b, isSimPath(path) ? kManufacturer : ""); }
DEVCORE_EXPORT void GetProductFromPath(const char* path, char* b) { copyText(b, isSimPath(path) ? kProduct : ""); }
DEVCORE_EXPORT void GetSerialFromPath(const char* path, char* b) { copyText(b, isSimPath(path) ? kSerial : ""); }

DEVCORE_EXPORT void SetConnected(int32_t handle, uint8_t connected)
{
    if (Slot* s = slotOf(handle); s && !connected)
        s->open = false;
}

DEVCORE_EXPORT void GetDevicePath(int32_t handle, char* buffer) { copyText(buffer, openSlot(handle) ? kPath : ""); }
DEVCORE_EXPORT void GetDescriptStr(int32_t handle, int32_t index, char* buffer)
{
    copyText(buffer, openSlot(handle) && index == 2 ? kProduct : "");
}

// Control of the simulation from a test in the same process.
DEVCORE_EXPORT void SimReset(void)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_device.reset();
    g_scenarioRead = true;
}
DEVCORE_EXPORT int SimLoadScenario(const char* text)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return text && g_device.loadScenario(text);
}
DEVCORE_EXPORT void SimAddShot(double fps)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_device.addShot(fps);
}
DEVCORE_EXPORT void SimNewString(void)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_device.newString();
}
DEVCORE_EXPORT void SimSetPresent(int present)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_device.setPresent(present != 0);
}
DEVCORE_EXPORT void SimSetEchoFirst(int code, int on)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_device.setEchoFirst(code, on != 0);
}
DEVCORE_EXPORT void SimSetDelay(int milliseconds)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_device.setDelayMs(milliseconds);
}
DEVCORE_EXPORT int SimRequests(void)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return g_device.requests();
}

} // extern "C"
