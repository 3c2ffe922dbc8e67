#pragma once

#include <dlfcn.h>

// The controls of the simulated CED M2 in the libdevcore.so this process has loaded.
class SimulatedCed {
public:
    SimulatedCed() : m_library(dlopen("libdevcore.so", RTLD_NOW | RTLD_NOLOAD)) {}
    ~SimulatedCed()
    {
        if (m_library)
            dlclose(m_library);
    }
    bool loaded() const { return m_library && fn<void (*)()>("SimReset"); }
    void reset() { fn<void (*)()>("SimReset")(); }
    bool scenario(const char* text) { return fn<int (*)(const char*)>("SimLoadScenario")(text) != 0; }
    void addShot(double fps) { fn<void (*)(double)>("SimAddShot")(fps); }
    void newString() { fn<void (*)()>("SimNewString")(); }
    void setPresent(bool present) { fn<void (*)(int)>("SimSetPresent")(present); }
    void echoFirst(int code, bool on) { fn<void (*)(int, int)>("SimSetEchoFirst")(code, on); }
    void delay(int ms) { fn<void (*)(int)>("SimSetDelay")(ms); }
    void mute(int requests) { fn<void (*)(int)>("SimSetMuted")(requests); }
    int requests() { return fn<int (*)()>("SimRequests")(); }

private:
    template <typename F> F fn(const char* name) const
    {
        return m_library ? reinterpret_cast<F>(dlsym(m_library, name)) : nullptr;
    }
    void* m_library;
};
