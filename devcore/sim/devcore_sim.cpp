// Devcore with a simulated CED M2 behind it: the same exports as the hidapi build, so a host
// that finds this library first (by the library search path) talks to the simulation.
//
// The device is vendor 1027, product 58586, version 0x0100, "Competitive Edge Dynamics",
// "CED Chronograph", serial "SIM00001", at the path "/sim/ced-m2". Its scenario is read from
// the file named by the environment variable DEVCORE_SIM_SCENARIO when the device is first used
// (ced_device.h describes the format), and can be driven from a test in the same process
// through the Sim* exports below.
#include "ced_device.h"
#include "devcore.h"
#include "devcore_slots.h"

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

std::recursive_mutex g_lock;
CedDevice g_device;
bool g_scenarioRead = false;
// The open device of a slot: the simulated chronograph is the only one.
void* const kOpen = &g_device;

using Slot = DevcoreSlot;

Slot* slotOf(int32_t handle)
{
    return devcore_slot(handle);
}

void copyText(char* out, const char* text)
{
    devcore_copy_text(out, text);
}

bool matches(const Slot& s)
{
    const DevcoreIdentity identity{kVid, kPid, kVersion, kManufacturer, kProduct, kSerial};
    return devcore_matches(&s, &identity) != 0;
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
    readScenarioOnce();
    s.device = nullptr;
    int32_t result = DEVCORE_NO_DEVICE;
    if (path && std::strcmp(path, kPath) == 0 && g_device.present()) {
        s.device = kOpen;
        g_device.opened();
        result = DEVCORE_OK;
    }
    return devcore_report_connect(&s, result);
}

// A device that went away is noticed on the first failed transfer.
void noticeLoss(Slot& s)
{
    if (s.device && !g_device.present()) {
        s.device = nullptr;
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
    const bool attached = s->device || !g_device.present();
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
        s->onReadFailure(s->device ? DEVCORE_TIMED_OUT : DEVCORE_NO_DEVICE, 0);
    noticeLoss(*s);
}

} // namespace

extern "C" {

void devcore_close_device(DevcoreSlot* slot)
{
    slot->device = nullptr;
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
    readScenarioOnce();
    Slot* s = slotOf(handle);
    copyText(buffer, s && matches(*s) && g_device.present() ? kPath : "");
}

DEVCORE_EXPORT void Disconnect(int32_t handle)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (Slot* s = slotOf(handle))
        s->device = nullptr;
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
    if (!s->device) {
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
    if (!s || !s->device || !buffer || size < 1)
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
    return s && s->device && buffer && size >= 1;
}

static bool openSlot(int32_t handle)
{
    Slot* s = slotOf(handle);
    return s && s->device;
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
        s->device = nullptr;
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
DEVCORE_EXPORT void SimSetMuted(int requests)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_device.setMuted(requests);
}
DEVCORE_EXPORT int SimRequests(void)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return g_device.requests();
}

} // extern "C"
