/* The connection slots behind Devcore's handles, shared by its builds (hidapi and the simulated
 * CED M2): allocation, match criteria, time-out, report ID and notification procedures. Each
 * build supplies devcore_close_device() and does its own device work. Internal: not exported. */
#ifndef DEVCORE_SLOTS_H
#define DEVCORE_SLOTS_H

#include "devcore.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DevcoreSlot {
    int used;
    void* device; /* the build's open device; NULL when none is open */
    char path[DEVCORE_TEXT_SIZE];
    int32_t matchVid, matchPid, matchVersion, timeOut;
    int16_t matchMethod;
    char matchManufacturer[DEVCORE_TEXT_SIZE], matchProduct[DEVCORE_TEXT_SIZE], matchSerial[DEVCORE_TEXT_SIZE];
    uint8_t reportId;
    DevcoreStatusProc onConnectSuccess, onConnectFailure, onDisconnect;
    DevcoreTransferProc onReadSuccess, onReadFailure, onWriteSuccess, onWriteFailure;
} DevcoreSlot;

/* A device's identity, for matching against a slot's criteria. */
typedef struct DevcoreIdentity {
    int32_t vid, pid, version;
    const char* manufacturer;
    const char* product;
    const char* serial;
} DevcoreIdentity;

/* The slot of a handle Init() gave, or NULL. */
DevcoreSlot* devcore_slot(int32_t handle);
/* Whether a device satisfies the criteria the slot's MatchMethod selects. */
int devcore_matches(const DevcoreSlot* slot, const DevcoreIdentity* device);
/* A NUL-terminated copy that fits a text buffer of DEVCORE_TEXT_SIZE bytes; NULL copies "". */
void devcore_copy_text(char* out, const char* text);
/* Raises ConnectSuccess for DEVCORE_OK, ConnectFailure otherwise; returns the result. */
int32_t devcore_report_connect(const DevcoreSlot* slot, int32_t result);

/* Supplied by each build: closes the slot's open device (device is NULL afterwards). */
void devcore_close_device(DevcoreSlot* slot);

#ifdef __cplusplus
}
#endif

#endif
