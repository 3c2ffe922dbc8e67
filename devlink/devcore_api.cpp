#include "devcore_api.h"

#include <dlfcn.h>
#include <mutex>

namespace {

template <typename F> bool resolve(void* library, const char* name, F& function)
{
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

const DevcoreApi* load()
{
    void* library = dlopen("libdevcore.so", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static DevcoreApi api;
    bool ok = true;
#define DEVCORE_FUNCTION(name) ok = resolve(library, #name, api.name) && ok;
    DEVCORE_FUNCTION(Init) DEVCORE_FUNCTION(Uninit) DEVCORE_FUNCTION(Connect) DEVCORE_FUNCTION(ConnectToPath)
    DEVCORE_FUNCTION(Browse) DEVCORE_FUNCTION(Disconnect) DEVCORE_FUNCTION(Read) DEVCORE_FUNCTION(Write)
    DEVCORE_FUNCTION(GetFeature) DEVCORE_FUNCTION(SetFeature) DEVCORE_FUNCTION(GetVid) DEVCORE_FUNCTION(GetPid)
    DEVCORE_FUNCTION(GetVer) DEVCORE_FUNCTION(GetUsage) DEVCORE_FUNCTION(GetUsagePage)
    DEVCORE_FUNCTION(GetManufacturer) DEVCORE_FUNCTION(GetProduct) DEVCORE_FUNCTION(GetSerial)
    DEVCORE_FUNCTION(GetConnected) DEVCORE_FUNCTION(GetReportID) DEVCORE_FUNCTION(SetReportID)
    DEVCORE_FUNCTION(GetMatchVid) DEVCORE_FUNCTION(GetMatchPid) DEVCORE_FUNCTION(GetMatchVersion)
    DEVCORE_FUNCTION(GetTimeOut) DEVCORE_FUNCTION(SetMatchVid) DEVCORE_FUNCTION(SetMatchPid)
    DEVCORE_FUNCTION(SetMatchVersion) DEVCORE_FUNCTION(SetTimeOut) DEVCORE_FUNCTION(GetMatchMethod)
    DEVCORE_FUNCTION(SetMatchMethod) DEVCORE_FUNCTION(GetMatchManufacturer) DEVCORE_FUNCTION(GetMatchProduct)
    DEVCORE_FUNCTION(GetMatchSerial) DEVCORE_FUNCTION(SetMatchManufacturer) DEVCORE_FUNCTION(SetMatchProduct)
    DEVCORE_FUNCTION(SetMatchSerial) DEVCORE_FUNCTION(SetOnConnectSuccess) DEVCORE_FUNCTION(SetOnConnectFailure)
    DEVCORE_FUNCTION(SetOnReadSuccess) DEVCORE_FUNCTION(SetOnReadFailure) DEVCORE_FUNCTION(SetOnWriteSuccess)
    DEVCORE_FUNCTION(SetOnWriteFailure) DEVCORE_FUNCTION(SetOnDisconnect) DEVCORE_FUNCTION(GetVidFromPath)
    DEVCORE_FUNCTION(GetPidFromPath) DEVCORE_FUNCTION(GetVersionFromPath) DEVCORE_FUNCTION(GetManufacturerFromPath)
    DEVCORE_FUNCTION(GetProductFromPath) DEVCORE_FUNCTION(GetSerialFromPath) DEVCORE_FUNCTION(ReadT)
    DEVCORE_FUNCTION(ARead) DEVCORE_FUNCTION(WriteT) DEVCORE_FUNCTION(AWrite) DEVCORE_FUNCTION(GetUsageFromPath)
    DEVCORE_FUNCTION(SetConnected) DEVCORE_FUNCTION(GetDevicePath) DEVCORE_FUNCTION(GetDescriptStr)
#undef DEVCORE_FUNCTION
    if (!ok) {
        dlclose(library);
        return nullptr;
    }
    return &api; // the library stays loaded for the life of the process
}

} // namespace

const DevcoreApi* DevcoreApi::get()
{
    static std::once_flag once;
    static const DevcoreApi* api = nullptr;
    std::call_once(once, [] { api = load(); });
    return api;
}
