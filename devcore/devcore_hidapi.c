/* Devcore over hidapi's hidraw back end. */
#define _GNU_SOURCE
#include "devcore.h"

#include <hidapi/hidapi.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

#define MAX_SLOTS 64

typedef struct {
    int used;
    hid_device* device;
    char path[DEVCORE_TEXT_SIZE];
    int32_t matchVid, matchPid, matchVersion, timeOut;
    int16_t matchMethod;
    char matchManufacturer[DEVCORE_TEXT_SIZE], matchProduct[DEVCORE_TEXT_SIZE], matchSerial[DEVCORE_TEXT_SIZE];
    uint8_t reportId;
    DevcoreStatusProc onConnectSuccess, onConnectFailure, onDisconnect;
    DevcoreTransferProc onReadSuccess, onReadFailure, onWriteSuccess, onWriteFailure;
} Slot;

static Slot slots[MAX_SLOTS];
static pthread_mutex_t slotLock = PTHREAD_MUTEX_INITIALIZER;
static int hidReady;

static Slot* slotOf(int32_t handle)
{
    if (handle < 1 || handle > MAX_SLOTS || !slots[handle - 1].used)
        return NULL;
    return &slots[handle - 1];
}

/* Wide text to a NUL-terminated narrow text; characters outside ASCII become '?'. */
static void narrow(const wchar_t* wide, char* out)
{
    size_t i = 0;
    if (wide)
        for (; wide[i] && i < DEVCORE_TEXT_SIZE - 1; ++i)
            out[i] = (wide[i] > 0 && wide[i] < 128) ? (char)wide[i] : '?';
    out[i] = '\0';
}

/* A NUL-terminated copy that fits a text buffer of DEVCORE_TEXT_SIZE bytes. */
static void copyText(char* out, const char* text)
{
    if (!out)
        return;
    const size_t n = text ? strnlen(text, DEVCORE_TEXT_SIZE - 1) : 0;
    if (n)
        memcpy(out, text, n);
    out[n] = '\0';
}

/* hidapi stays initialised while the library is loaded; released when it is unloaded. */
__attribute__((destructor)) static void releaseHid(void)
{
    if (hidReady)
        hid_exit();
    hidReady = 0;
}

static int ensureHid(void)
{
    if (!hidReady)
        hidReady = hid_init() == 0;
    return hidReady;
}

static int matches(const Slot* s, const struct hid_device_info* d)
{
    char text[DEVCORE_TEXT_SIZE];
    if ((s->matchMethod & DEVCORE_MATCH_PID) && d->product_id != s->matchPid)
        return 0;
    if ((s->matchMethod & DEVCORE_MATCH_VID) && d->vendor_id != s->matchVid)
        return 0;
    if ((s->matchMethod & DEVCORE_MATCH_VERSION) && d->release_number != s->matchVersion)
        return 0;
    narrow(d->manufacturer_string, text);
    if ((s->matchMethod & DEVCORE_MATCH_MANUFACTURER) && strcmp(text, s->matchManufacturer) != 0)
        return 0;
    narrow(d->product_string, text);
    if ((s->matchMethod & DEVCORE_MATCH_PRODUCT) && strcmp(text, s->matchProduct) != 0)
        return 0;
    narrow(d->serial_number, text);
    if ((s->matchMethod & DEVCORE_MATCH_SERIAL) && strcmp(text, s->matchSerial) != 0)
        return 0;
    return 1;
}

/* The device information of one path, or NULL; free with hid_free_enumeration. */
static struct hid_device_info* infoOf(const char* path)
{
    if (!path || !*path || !ensureHid())
        return NULL;
    struct hid_device_info* all = hid_enumerate(0, 0);
    struct hid_device_info* found = NULL;
    for (struct hid_device_info* d = all; d; d = d->next) {
        if (d->path && strcmp(d->path, path) == 0) {
            found = d;
            break;
        }
    }
    if (!found) {
        hid_free_enumeration(all);
        return NULL;
    }
    /* Detach the found entry so that it can be returned alone. */
    struct hid_device_info copy = *found;
    found->next = NULL;
    if (found != all) {
        for (struct hid_device_info* d = all; d; d = d->next)
            if (d->next == found) {
                d->next = copy.next;
                break;
            }
        hid_free_enumeration(all);
    } else {
        struct hid_device_info* rest = copy.next;
        hid_free_enumeration(rest);
    }
    return found;
}

static void closeDevice(Slot* s)
{
    if (s->device) {
        hid_close(s->device);
        s->device = NULL;
    }
    s->path[0] = '\0';
}

/* After a failed transfer: a device that is no longer there is disconnected and reported. */
static void checkGone(Slot* s)
{
    if (s->device && access(s->path, F_OK) != 0) {
        closeDevice(s);
        if (s->onDisconnect)
            s->onDisconnect(DEVCORE_IO_FAILED);
    }
}

int32_t Init(void)
{
    pthread_mutex_lock(&slotLock);
    int32_t handle = 0;
    for (int i = 0; i < MAX_SLOTS; ++i) {
        if (!slots[i].used) {
            memset(&slots[i], 0, sizeof slots[i]);
            slots[i].used = 1;
            slots[i].timeOut = 1000;
            handle = i + 1;
            break;
        }
    }
    pthread_mutex_unlock(&slotLock);
    return handle;
}

void Uninit(int32_t handle)
{
    Slot* s = slotOf(handle);
    if (!s)
        return;
    closeDevice(s);
    pthread_mutex_lock(&slotLock);
    s->used = 0;
    pthread_mutex_unlock(&slotLock);
}

static int32_t openPath(Slot* s, const char* path)
{
    closeDevice(s);
    int32_t result = DEVCORE_NO_DEVICE;
    if (path && *path && ensureHid() && access(path, F_OK) == 0) {
        s->device = hid_open_path(path);
        if (s->device) {
            copyText(s->path, path);
            result = DEVCORE_OK;
        } else {
            result = DEVCORE_OPEN_FAILED;
        }
    }
    if (result == DEVCORE_OK) {
        if (s->onConnectSuccess)
            s->onConnectSuccess(result);
    } else if (s->onConnectFailure) {
        s->onConnectFailure(result);
    }
    return result;
}

/* The paths of every present device that satisfies the slot's criteria. */
static int matchingPaths(const Slot* s, char paths[][DEVCORE_TEXT_SIZE], int max)
{
    int count = 0;
    if (!ensureHid())
        return 0;
    struct hid_device_info* all = hid_enumerate(0, 0);
    for (struct hid_device_info* d = all; d && count < max; d = d->next)
        if (d->path && matches(s, d))
            copyText(paths[count++], d->path);
    hid_free_enumeration(all);
    return count;
}

int32_t Connect(int32_t handle)
{
    Slot* s = slotOf(handle);
    if (!s)
        return DEVCORE_BAD_HANDLE;
    char paths[1][DEVCORE_TEXT_SIZE];
    return openPath(s, matchingPaths(s, paths, 1) ? paths[0] : NULL);
}

int32_t ConnectToPath(int32_t handle, char* path)
{
    Slot* s = slotOf(handle);
    return s ? openPath(s, path) : DEVCORE_BAD_HANDLE;
}

/* Lets the user pick one of several paths with zenity, where a desktop offers it. */
static int pick(char paths[][DEVCORE_TEXT_SIZE], int count)
{
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
        return 0;
    char command[4096] = "zenity --list --title='Choose a HID device' --column=Device";
    for (int i = 0; i < count; ++i) {
        if (strchr(paths[i], '\'') || strlen(command) + strlen(paths[i]) + 8 >= sizeof command)
            return 0;
        strcat(command, " '");
        strcat(command, paths[i]);
        strcat(command, "'");
    }
    strcat(command, " 2>/dev/null");
    FILE* chooser = popen(command, "r");
    if (!chooser)
        return 0;
    char chosen[DEVCORE_TEXT_SIZE] = "";
    if (!fgets(chosen, sizeof chosen, chooser))
        chosen[0] = '\0';
    pclose(chooser);
    chosen[strcspn(chosen, "\n")] = '\0';
    for (int i = 0; i < count; ++i)
        if (strcmp(chosen, paths[i]) == 0)
            return i;
    return chosen[0] ? 0 : -1;
}

void Browse(int32_t handle, char* buffer)
{
    Slot* s = slotOf(handle);
    copyText(buffer, "");
    if (!s)
        return;
    char paths[16][DEVCORE_TEXT_SIZE];
    const int count = matchingPaths(s, paths, 16);
    if (count == 1) {
        copyText(buffer, paths[0]);
    } else if (count > 1) {
        const int chosen = pick(paths, count);
        if (chosen >= 0)
            copyText(buffer, paths[chosen]);
    }
}

void Disconnect(int32_t handle)
{
    Slot* s = slotOf(handle);
    if (s)
        closeDevice(s);
}

static void readWithin(int32_t handle, uint8_t* buffer, int32_t* size, int32_t milliseconds)
{
    Slot* s = slotOf(handle);
    if (!size)
        return;
    const int32_t wanted = *size;
    *size = 0;
    if (!s || !buffer || wanted < 0)
        return;
    if (!s->device) {
        if (s->onReadFailure)
            s->onReadFailure(DEVCORE_NO_DEVICE, 0);
        return;
    }
    const int n = hid_read_timeout(s->device, buffer, (size_t)wanted, milliseconds);
    if (n > 0) {
        *size = n;
        if (s->onReadSuccess)
            s->onReadSuccess(DEVCORE_OK, n);
        return;
    }
    if (s->onReadFailure)
        s->onReadFailure(n == 0 ? DEVCORE_TIMED_OUT : DEVCORE_IO_FAILED, 0);
    if (n < 0)
        checkGone(s);
}

void Read(int32_t handle, uint8_t* buffer, int32_t* size)
{
    Slot* s = slotOf(handle);
    readWithin(handle, buffer, size, s ? s->timeOut : 0);
}

void ReadT(int32_t handle, uint8_t* buffer, int32_t* size, int32_t milliseconds)
{
    readWithin(handle, buffer, size, milliseconds);
}

void ARead(int32_t handle, uint8_t* buffer, int32_t* size)
{
    readWithin(handle, buffer, size, 0);
}

void Write(int32_t handle, uint8_t* buffer, int32_t* size)
{
    Slot* s = slotOf(handle);
    if (!size)
        return;
    const int32_t wanted = *size;
    *size = 0;
    if (!s || !buffer || wanted < 0 || wanted > 4096)
        return;
    if (!s->device) {
        if (s->onWriteFailure)
            s->onWriteFailure(DEVCORE_NO_DEVICE, 0);
        return;
    }
    uint8_t report[4097];
    report[0] = s->reportId;
    memcpy(report + 1, buffer, (size_t)wanted);
    const int n = hid_write(s->device, report, (size_t)wanted + 1);
    if (n > 0) {
        *size = n - 1;
        if (s->onWriteSuccess)
            s->onWriteSuccess(DEVCORE_OK, n - 1);
        return;
    }
    if (s->onWriteFailure)
        s->onWriteFailure(DEVCORE_IO_FAILED, 0);
    checkGone(s);
}

void WriteT(int32_t handle, uint8_t* buffer, int32_t* size, int32_t milliseconds)
{
    (void)milliseconds;
    Write(handle, buffer, size);
}

void AWrite(int32_t handle, uint8_t* buffer, int32_t* size)
{
    Write(handle, buffer, size);
}

uint8_t GetFeature(int32_t handle, uint8_t* buffer, int32_t size)
{
    Slot* s = slotOf(handle);
    if (!s || !s->device || !buffer || size < 0)
        return 0;
    buffer[0] = s->reportId;
    return hid_get_feature_report(s->device, buffer, (size_t)size + 1) >= 0;
}

uint8_t SetFeature(int32_t handle, uint8_t* buffer, int32_t size)
{
    Slot* s = slotOf(handle);
    if (!s || !s->device || !buffer || size < 0)
        return 0;
    return hid_send_feature_report(s->device, buffer, (size_t)size) >= 0;
}

/* Identity of the open device, read from its enumeration entry. */
#define WITH_INFO(handle, fallback, expression)                                                                      \
    do {                                                                                                             \
        Slot* s_ = slotOf(handle);                                                                                   \
        struct hid_device_info* d = s_ && s_->device ? infoOf(s_->path) : NULL;                                     \
        if (!d)                                                                                                      \
            return fallback;                                                                                         \
        __typeof__(fallback) value_ = (expression);                                                                  \
        hid_free_enumeration(d);                                                                                     \
        return value_;                                                                                               \
    } while (0)

int32_t GetVid(int32_t handle) { WITH_INFO(handle, (int32_t)0, (int32_t)d->vendor_id); }
int32_t GetPid(int32_t handle) { WITH_INFO(handle, (int32_t)0, (int32_t)d->product_id); }
int16_t GetVer(int32_t handle) { WITH_INFO(handle, (int16_t)0, (int16_t)d->release_number); }
int16_t GetUsage(int32_t handle) { WITH_INFO(handle, (int16_t)0, (int16_t)d->usage); }
int16_t GetUsagePage(int32_t handle) { WITH_INFO(handle, (int16_t)0, (int16_t)d->usage_page); }

static void textOfPath(const char* path, char* buffer, int which)
{
    copyText(buffer, "");
    struct hid_device_info* d = infoOf(path);
    if (!d || !buffer)
        return;
    narrow(which == 0 ? d->manufacturer_string : which == 1 ? d->product_string : d->serial_number, buffer);
    hid_free_enumeration(d);
}

static const char* pathOf(int32_t handle)
{
    Slot* s = slotOf(handle);
    return s && s->device ? s->path : "";
}

void GetManufacturer(int32_t handle, char* buffer) { textOfPath(pathOf(handle), buffer, 0); }
void GetProduct(int32_t handle, char* buffer) { textOfPath(pathOf(handle), buffer, 1); }
void GetSerial(int32_t handle, char* buffer) { textOfPath(pathOf(handle), buffer, 2); }

uint8_t GetConnected(int32_t handle)
{
    Slot* s = slotOf(handle);
    if (!s || !s->device)
        return 0;
    checkGone(s);
    return s->device != NULL;
}

uint8_t GetReportID(int32_t handle)
{
    Slot* s = slotOf(handle);
    return s ? s->reportId : 0;
}

void SetReportID(int32_t handle, uint8_t reportId)
{
    Slot* s = slotOf(handle);
    if (s)
        s->reportId = reportId;
}

#define FIELD_ACCESS(Name, field, type)                                                                              \
    type Get##Name(int32_t handle)                                                                                   \
    {                                                                                                                \
        Slot* s = slotOf(handle);                                                                                    \
        return s ? s->field : (type)0;                                                                               \
    }                                                                                                                \
    void Set##Name(int32_t handle, type value)                                                                       \
    {                                                                                                                \
        Slot* s = slotOf(handle);                                                                                    \
        if (s)                                                                                                       \
            s->field = value;                                                                                        \
    }

FIELD_ACCESS(MatchVid, matchVid, int32_t)
FIELD_ACCESS(MatchPid, matchPid, int32_t)
FIELD_ACCESS(MatchVersion, matchVersion, int32_t)
FIELD_ACCESS(TimeOut, timeOut, int32_t)
FIELD_ACCESS(MatchMethod, matchMethod, int16_t)

#define TEXT_ACCESS(Name, field)                                                                                     \
    void Get##Name(int32_t handle, char* buffer)                                                                     \
    {                                                                                                                \
        Slot* s = slotOf(handle);                                                                                    \
        copyText(buffer, s ? s->field : "");                                                                         \
    }                                                                                                                \
    void Set##Name(int32_t handle, const char* text)                                                                 \
    {                                                                                                                \
        Slot* s = slotOf(handle);                                                                                    \
        if (s)                                                                                                       \
            copyText(s->field, text);                                                                                \
    }

TEXT_ACCESS(MatchManufacturer, matchManufacturer)
TEXT_ACCESS(MatchProduct, matchProduct)
TEXT_ACCESS(MatchSerial, matchSerial)

#define NOTIFY_ACCESS(Name, field, type)                                                                             \
    void SetOn##Name(int32_t handle, type proc)                                                                      \
    {                                                                                                                \
        Slot* s = slotOf(handle);                                                                                    \
        if (s)                                                                                                       \
            s->field = proc;                                                                                         \
    }

NOTIFY_ACCESS(ConnectSuccess, onConnectSuccess, DevcoreStatusProc)
NOTIFY_ACCESS(ConnectFailure, onConnectFailure, DevcoreStatusProc)
NOTIFY_ACCESS(ReadSuccess, onReadSuccess, DevcoreTransferProc)
NOTIFY_ACCESS(ReadFailure, onReadFailure, DevcoreTransferProc)
NOTIFY_ACCESS(WriteSuccess, onWriteSuccess, DevcoreTransferProc)
NOTIFY_ACCESS(WriteFailure, onWriteFailure, DevcoreTransferProc)
NOTIFY_ACCESS(Disconnect, onDisconnect, DevcoreStatusProc)

#define PATH_NUMBER(Name, expression)                                                                                \
    int32_t Name(const char* path)                                                                                   \
    {                                                                                                                \
        struct hid_device_info* d = infoOf(path);                                                                    \
        if (!d)                                                                                                      \
            return 0;                                                                                                \
        const int32_t value = (int32_t)(expression);                                                                 \
        hid_free_enumeration(d);                                                                                     \
        return value;                                                                                                \
    }

PATH_NUMBER(GetVidFromPath, d->vendor_id)
PATH_NUMBER(GetPidFromPath, d->product_id)
PATH_NUMBER(GetVersionFromPath, d->release_number)
PATH_NUMBER(GetUsageFromPath, d->usage)

void GetManufacturerFromPath(const char* path, char* buffer) { textOfPath(path, buffer, 0); }
void GetProductFromPath(const char* path, char* buffer) { textOfPath(path, buffer, 1); }
void GetSerialFromPath(const char* path, char* buffer) { textOfPath(path, buffer, 2); }

void SetConnected(int32_t handle, uint8_t connected)
{
    Slot* s = slotOf(handle);
    if (s && !connected)
        closeDevice(s);
}

void GetDevicePath(int32_t handle, char* buffer)
{
    copyText(buffer, pathOf(handle));
}

void GetDescriptStr(int32_t handle, int32_t index, char* buffer)
{
    Slot* s = slotOf(handle);
    copyText(buffer, "");
    wchar_t wide[DEVCORE_TEXT_SIZE];
    if (s && s->device && buffer && hid_get_indexed_string(s->device, index, wide, DEVCORE_TEXT_SIZE) == 0)
        narrow(wide, buffer);
}
