/* Devcore: the HID transport library behind Devlink's DevPort control.
 *
 * A small plain C API over hidapi (hidraw back end). A handle from Init() stands for one
 * connection slot with its own match criteria, time-out and notification procedures.
 * Functions taking a handle do nothing (or return 0) for a handle that Init() did not give.
 *
 * Texts: paths and match texts are NUL-terminated; every text buffer the library fills is
 * at least DEVCORE_TEXT_SIZE bytes, owned by the caller, and receives a NUL-terminated string
 * (truncated to fit). Nothing returned is owned by the library's caller to free.
 *
 * Notifications are called synchronously on the thread that made the call that caused them,
 * before that call returns. */
#ifndef DEVCORE_H
#define DEVCORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DEVCORE_EXPORT __attribute__((visibility("default")))
#define DEVCORE_TEXT_SIZE 255

/* MatchMethod bits: which criteria are in force. */
#define DEVCORE_MATCH_PID 1
#define DEVCORE_MATCH_VID 2
#define DEVCORE_MATCH_VERSION 4
#define DEVCORE_MATCH_MANUFACTURER 8
#define DEVCORE_MATCH_PRODUCT 16
#define DEVCORE_MATCH_SERIAL 32

/* Results of Connect and ConnectToPath, and the Status of the notifications. */
#define DEVCORE_OK 0
#define DEVCORE_NO_DEVICE 1   /* nothing matches, or the path names no device */
#define DEVCORE_OPEN_FAILED 2 /* a device was found but could not be opened */
#define DEVCORE_IO_FAILED 3   /* a read or write failed; the device may be gone */
#define DEVCORE_TIMED_OUT 4   /* a read got nothing within the time-out */
#define DEVCORE_BAD_HANDLE 5

typedef void (*DevcoreStatusProc)(int32_t status);
typedef void (*DevcoreTransferProc)(int32_t status, int32_t bytes);

/* A new slot with no criteria (MatchMethod 0), report ID 0 and a time-out of 1000 ms.
 * Returns a handle > 0, or 0 when no more slots can be made. Release it with Uninit. */
DEVCORE_EXPORT int32_t Init(void);
/* Disconnects and releases the slot; the handle is invalid afterwards. */
DEVCORE_EXPORT void Uninit(int32_t handle);

/* Opens the first device that satisfies the criteria that MatchMethod selects (every device
 * when MatchMethod is 0). Returns DEVCORE_OK or a failure code; raises ConnectSuccess or
 * ConnectFailure with the same code. */
DEVCORE_EXPORT int32_t Connect(int32_t handle);
/* Opens the device at `path` (a hidraw path), whatever the criteria. Same results as Connect. */
DEVCORE_EXPORT int32_t ConnectToPath(int32_t handle, char* path);
/* Writes into `buffer` (DEVCORE_TEXT_SIZE bytes) the path of a device that satisfies the
 * criteria: the only one, or the one the user picks when several do (with zenity where a
 * desktop offers it, else the first); an empty text when none does. Never blocks without a user. */
DEVCORE_EXPORT void Browse(int32_t handle, char* buffer);
/* Closes the open device, if any. Raises nothing. */
DEVCORE_EXPORT void Disconnect(int32_t handle);

/* Reads one input report into `buffer` (at least *size + 1 bytes): element 0 receives the
 * report ID, the report follows. Waits up to the time-out. On return *size holds the bytes
 * read (0 when nothing came). Raises ReadSuccess or ReadFailure. A device that has gone
 * away is disconnected and raises Disconnected. */
DEVCORE_EXPORT void Read(int32_t handle, uint8_t* buffer, int32_t* size);
/* Writes one output report of *size bytes from `buffer`, sent with the slot's report ID in
 * front. On return *size holds the bytes written (0 on failure). Raises WriteSuccess or
 * WriteFailure, and Disconnected when the device has gone away. */
DEVCORE_EXPORT void Write(int32_t handle, uint8_t* buffer, int32_t* size);
/* Feature reports, `size` bytes after the report ID in element 0. Non-zero on success. */
DEVCORE_EXPORT uint8_t GetFeature(int32_t handle, uint8_t* buffer, int32_t size);
DEVCORE_EXPORT uint8_t SetFeature(int32_t handle, uint8_t* buffer, int32_t size);

/* The connected device's identity; 0 or an empty text when none is connected. */
DEVCORE_EXPORT int32_t GetVid(int32_t handle);
DEVCORE_EXPORT int32_t GetPid(int32_t handle);
DEVCORE_EXPORT int16_t GetVer(int32_t handle);
DEVCORE_EXPORT int16_t GetUsage(int32_t handle);
DEVCORE_EXPORT int16_t GetUsagePage(int32_t handle);
DEVCORE_EXPORT void GetManufacturer(int32_t handle, char* buffer);
DEVCORE_EXPORT void GetProduct(int32_t handle, char* buffer);
DEVCORE_EXPORT void GetSerial(int32_t handle, char* buffer);
/* Non-zero while a device is open and still present. */
DEVCORE_EXPORT uint8_t GetConnected(int32_t handle);

DEVCORE_EXPORT uint8_t GetReportID(int32_t handle);
DEVCORE_EXPORT void SetReportID(int32_t handle, uint8_t reportId);

/* Match criteria and time-out (milliseconds) of the slot. */
DEVCORE_EXPORT int32_t GetMatchVid(int32_t handle);
DEVCORE_EXPORT int32_t GetMatchPid(int32_t handle);
DEVCORE_EXPORT int32_t GetMatchVersion(int32_t handle);
DEVCORE_EXPORT int32_t GetTimeOut(int32_t handle);
DEVCORE_EXPORT void SetMatchVid(int32_t handle, int32_t value);
DEVCORE_EXPORT void SetMatchPid(int32_t handle, int32_t value);
DEVCORE_EXPORT void SetMatchVersion(int32_t handle, int32_t value);
DEVCORE_EXPORT void SetTimeOut(int32_t handle, int32_t milliseconds);
DEVCORE_EXPORT int16_t GetMatchMethod(int32_t handle);
DEVCORE_EXPORT void SetMatchMethod(int32_t handle, int16_t method);
DEVCORE_EXPORT void GetMatchManufacturer(int32_t handle, char* buffer);
DEVCORE_EXPORT void GetMatchProduct(int32_t handle, char* buffer);
DEVCORE_EXPORT void GetMatchSerial(int32_t handle, char* buffer);
DEVCORE_EXPORT void SetMatchManufacturer(int32_t handle, const char* text);
DEVCORE_EXPORT void SetMatchProduct(int32_t handle, const char* text);
DEVCORE_EXPORT void SetMatchSerial(int32_t handle, const char* text);

/* Notification procedures; NULL unregisters one. */
DEVCORE_EXPORT void SetOnConnectSuccess(int32_t handle, DevcoreStatusProc proc);
DEVCORE_EXPORT void SetOnConnectFailure(int32_t handle, DevcoreStatusProc proc);
DEVCORE_EXPORT void SetOnReadSuccess(int32_t handle, DevcoreTransferProc proc);
DEVCORE_EXPORT void SetOnReadFailure(int32_t handle, DevcoreTransferProc proc);
DEVCORE_EXPORT void SetOnWriteSuccess(int32_t handle, DevcoreTransferProc proc);
DEVCORE_EXPORT void SetOnWriteFailure(int32_t handle, DevcoreTransferProc proc);
DEVCORE_EXPORT void SetOnDisconnect(int32_t handle, DevcoreStatusProc proc);

/* A device's identity by path, without connecting; 0 or an empty text when unknown. */
DEVCORE_EXPORT int32_t GetVidFromPath(const char* path);
DEVCORE_EXPORT int32_t GetPidFromPath(const char* path);
DEVCORE_EXPORT int32_t GetVersionFromPath(const char* path);
DEVCORE_EXPORT int32_t GetUsageFromPath(const char* path);
DEVCORE_EXPORT void GetManufacturerFromPath(const char* path, char* buffer);
DEVCORE_EXPORT void GetProductFromPath(const char* path, char* buffer);
DEVCORE_EXPORT void GetSerialFromPath(const char* path, char* buffer);

/* Offered for other hosts; Devlink declares them and calls none. */
/* Read with an explicit time-out in milliseconds instead of the slot's. */
DEVCORE_EXPORT void ReadT(int32_t handle, uint8_t* buffer, int32_t* size, int32_t milliseconds);
/* Read that returns at once with what is there (*size 0 when nothing). */
DEVCORE_EXPORT void ARead(int32_t handle, uint8_t* buffer, int32_t* size);
/* Write with an explicit time-out; writes do not wait on hidraw, so it is Write. */
DEVCORE_EXPORT void WriteT(int32_t handle, uint8_t* buffer, int32_t* size, int32_t milliseconds);
/* Write that returns at once; the same as Write on hidraw. */
DEVCORE_EXPORT void AWrite(int32_t handle, uint8_t* buffer, int32_t* size);
/* Marks the slot disconnected (non-zero keeps it as it is); closes the device on 0. */
DEVCORE_EXPORT void SetConnected(int32_t handle, uint8_t connected);
/* The open device's path into `buffer`; empty when none. */
DEVCORE_EXPORT void GetDevicePath(int32_t handle, char* buffer);
/* The indexed string descriptor of the open device into `buffer`; empty when unavailable. */
DEVCORE_EXPORT void GetDescriptStr(int32_t handle, int32_t index, char* buffer);

#ifdef __cplusplus
}
#endif

#endif
