/* The slot bookkeeping that every build of Devcore shares. */
#include "devcore_slots.h"

#include <pthread.h>
#include <string.h>

#define MAX_SLOTS 64

static DevcoreSlot slots[MAX_SLOTS];
static pthread_mutex_t slotLock = PTHREAD_MUTEX_INITIALIZER;

DevcoreSlot* devcore_slot(int32_t handle)
{
    if (handle < 1 || handle > MAX_SLOTS || !slots[handle - 1].used)
        return NULL;
    return &slots[handle - 1];
}

void devcore_copy_text(char* out, const char* text)
{
    if (!out)
        return;
    const size_t n = text ? strnlen(text, DEVCORE_TEXT_SIZE - 1) : 0;
    if (n)
        memcpy(out, text, n);
    out[n] = '\0';
}

static int sameText(const char* a, const char* b)
{
    return strcmp(a ? a : "", b ? b : "") == 0;
}

int devcore_matches(const DevcoreSlot* s, const DevcoreIdentity* d)
{
    if ((s->matchMethod & DEVCORE_MATCH_PID) && d->pid != s->matchPid)
        return 0;
    if ((s->matchMethod & DEVCORE_MATCH_VID) && d->vid != s->matchVid)
        return 0;
    if ((s->matchMethod & DEVCORE_MATCH_VERSION) && d->version != s->matchVersion)
        return 0;
    if ((s->matchMethod & DEVCORE_MATCH_MANUFACTURER) && !sameText(d->manufacturer, s->matchManufacturer))
        return 0;
    if ((s->matchMethod & DEVCORE_MATCH_PRODUCT) && !sameText(d->product, s->matchProduct))
        return 0;
    if ((s->matchMethod & DEVCORE_MATCH_SERIAL) && !sameText(d->serial, s->matchSerial))
        return 0;
    return 1;
}

int32_t devcore_report_connect(const DevcoreSlot* s, int32_t result)
{
    if (result == DEVCORE_OK) {
        if (s->onConnectSuccess)
            s->onConnectSuccess(result);
    } else if (s->onConnectFailure) {
        s->onConnectFailure(result);
    }
    return result;
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
    DevcoreSlot* s = devcore_slot(handle);
    if (!s)
        return;
    devcore_close_device(s);
    pthread_mutex_lock(&slotLock);
    s->used = 0;
    pthread_mutex_unlock(&slotLock);
}

uint8_t GetReportID(int32_t handle)
{
    DevcoreSlot* s = devcore_slot(handle);
    return s ? s->reportId : 0;
}

void SetReportID(int32_t handle, uint8_t reportId)
{
    DevcoreSlot* s = devcore_slot(handle);
    if (s)
        s->reportId = reportId;
}

#define FIELD_ACCESS(Name, field, type)                                                                              \
    type Get##Name(int32_t handle)                                                                                   \
    {                                                                                                                \
        DevcoreSlot* s = devcore_slot(handle);                                                                       \
        return s ? s->field : (type)0;                                                                               \
    }                                                                                                                \
    void Set##Name(int32_t handle, type value)                                                                       \
    {                                                                                                                \
        DevcoreSlot* s = devcore_slot(handle);                                                                       \
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
        DevcoreSlot* s = devcore_slot(handle);                                                                       \
        devcore_copy_text(buffer, s ? s->field : "");                                                                \
    }                                                                                                                \
    void Set##Name(int32_t handle, const char* text)                                                                 \
    {                                                                                                                \
        DevcoreSlot* s = devcore_slot(handle);                                                                       \
        if (s)                                                                                                       \
            devcore_copy_text(s->field, text);                                                                       \
    }

TEXT_ACCESS(MatchManufacturer, matchManufacturer)
TEXT_ACCESS(MatchProduct, matchProduct)
TEXT_ACCESS(MatchSerial, matchSerial)

#define NOTIFY_ACCESS(Name, field, type)                                                                             \
    void SetOn##Name(int32_t handle, type proc)                                                                      \
    {                                                                                                                \
        DevcoreSlot* s = devcore_slot(handle);                                                                       \
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
