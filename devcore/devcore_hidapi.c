/* Devcore over hidapi's hidraw back end. */
#define _GNU_SOURCE
#include "devcore.h"
#include "devcore_slots.h"

#include <hidapi/hidapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

static int hidReady;

static hid_device* deviceOf(const DevcoreSlot* s)
{
    return (hid_device*)s->device;
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

static int matches(const DevcoreSlot* s, const struct hid_device_info* d)
{
    char manufacturer[DEVCORE_TEXT_SIZE], product[DEVCORE_TEXT_SIZE], serial[DEVCORE_TEXT_SIZE];
    narrow(d->manufacturer_string, manufacturer);
    narrow(d->product_string, product);
    narrow(d->serial_number, serial);
    const DevcoreIdentity identity = {d->vendor_id, d->product_id, d->release_number, manufacturer, product, serial};
    return devcore_matches(s, &identity);
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

void devcore_close_device(DevcoreSlot* s)
{
    if (s->device) {
        hid_close(deviceOf(s));
        s->device = NULL;
    }
    s->path[0] = '\0';
}

/* After a failed transfer: a device that is no longer there is disconnected and reported. */
static void checkGone(DevcoreSlot* s)
{
    if (s->device && access(s->path, F_OK) != 0) {
        devcore_close_device(s);
        if (s->onDisconnect)
            s->onDisconnect(DEVCORE_IO_FAILED);
    }
}

static int32_t openPath(DevcoreSlot* s, const char* path)
{
    devcore_close_device(s);
    int32_t result = DEVCORE_NO_DEVICE;
    if (path && *path && ensureHid() && access(path, F_OK) == 0) {
        s->device = hid_open_path(path);
        if (s->device) {
            devcore_copy_text(s->path, path);
            result = DEVCORE_OK;
        } else {
            result = DEVCORE_OPEN_FAILED;
        }
    }
    return devcore_report_connect(s, result);
}

/* The paths of every present device that satisfies the slot's criteria. */
static int matchingPaths(const DevcoreSlot* s, char paths[][DEVCORE_TEXT_SIZE], int max)
{
    int count = 0;
    if (!ensureHid())
        return 0;
    struct hid_device_info* all = hid_enumerate(0, 0);
    for (struct hid_device_info* d = all; d && count < max; d = d->next)
        if (d->path && matches(s, d))
            devcore_copy_text(paths[count++], d->path);
    hid_free_enumeration(all);
    return count;
}

int32_t Connect(int32_t handle)
{
    DevcoreSlot* s = devcore_slot(handle);
    if (!s)
        return DEVCORE_BAD_HANDLE;
    char paths[1][DEVCORE_TEXT_SIZE];
    return openPath(s, matchingPaths(s, paths, 1) ? paths[0] : NULL);
}

int32_t ConnectToPath(int32_t handle, char* path)
{
    DevcoreSlot* s = devcore_slot(handle);
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
    DevcoreSlot* s = devcore_slot(handle);
    devcore_copy_text(buffer, "");
    if (!s)
        return;
    char paths[16][DEVCORE_TEXT_SIZE];
    const int count = matchingPaths(s, paths, 16);
    if (count == 1) {
        devcore_copy_text(buffer, paths[0]);
    } else if (count > 1) {
        const int chosen = pick(paths, count);
        if (chosen >= 0)
            devcore_copy_text(buffer, paths[chosen]);
    }
}

void Disconnect(int32_t handle)
{
    DevcoreSlot* s = devcore_slot(handle);
    if (s)
        devcore_close_device(s);
}

static void readWithin(int32_t handle, uint8_t* buffer, int32_t* size, int32_t milliseconds)
{
    DevcoreSlot* s = devcore_slot(handle);
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
    const int n = hid_read_timeout(deviceOf(s), buffer, (size_t)wanted, milliseconds);
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
    DevcoreSlot* s = devcore_slot(handle);
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
    DevcoreSlot* s = devcore_slot(handle);
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
    const int n = hid_write(deviceOf(s), report, (size_t)wanted + 1);
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
    DevcoreSlot* s = devcore_slot(handle);
    if (!s || !s->device || !buffer || size < 0)
        return 0;
    buffer[0] = s->reportId;
    return hid_get_feature_report(deviceOf(s), buffer, (size_t)size + 1) >= 0;
}

uint8_t SetFeature(int32_t handle, uint8_t* buffer, int32_t size)
{
    DevcoreSlot* s = devcore_slot(handle);
    if (!s || !s->device || !buffer || size < 0)
        return 0;
    return hid_send_feature_report(deviceOf(s), buffer, (size_t)size) >= 0;
}

/* Identity of the open device, read from its enumeration entry. */
#define WITH_INFO(handle, fallback, expression)                                                                      \
    do {                                                                                                             \
        DevcoreSlot* s_ = devcore_slot(handle);                                                                                   \
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
    devcore_copy_text(buffer, "");
    struct hid_device_info* d = infoOf(path);
    if (!d || !buffer)
        return;
    narrow(which == 0 ? d->manufacturer_string : which == 1 ? d->product_string : d->serial_number, buffer);
    hid_free_enumeration(d);
}

static const char* pathOf(int32_t handle)
{
    DevcoreSlot* s = devcore_slot(handle);
    return s && s->device ? s->path : "";
}

void GetManufacturer(int32_t handle, char* buffer) { textOfPath(pathOf(handle), buffer, 0); }
void GetProduct(int32_t handle, char* buffer) { textOfPath(pathOf(handle), buffer, 1); }
void GetSerial(int32_t handle, char* buffer) { textOfPath(pathOf(handle), buffer, 2); }

uint8_t GetConnected(int32_t handle)
{
    DevcoreSlot* s = devcore_slot(handle);
    if (!s || !s->device)
        return 0;
    checkGone(s);
    return s->device != NULL;
}

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
    DevcoreSlot* s = devcore_slot(handle);
    if (s && !connected)
        devcore_close_device(s);
}

void GetDevicePath(int32_t handle, char* buffer)
{
    devcore_copy_text(buffer, pathOf(handle));
}

void GetDescriptStr(int32_t handle, int32_t index, char* buffer)
{
    DevcoreSlot* s = devcore_slot(handle);
    devcore_copy_text(buffer, "");
    wchar_t wide[DEVCORE_TEXT_SIZE];
    if (s && s->device && buffer && hid_get_indexed_string(deviceOf(s), index, wide, DEVCORE_TEXT_SIZE) == 0)
        narrow(wide, buffer);
}
