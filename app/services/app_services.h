#pragma once

#include "drivers/comm_port.h"

#include <functional>
#include <memory>

class Prompt;
class Sleeper;
class StepTimer;
class Clock;
class SoundPlayer;
class ScreenSaver;
class UrlOpener;
class PelletStore;
class ControlHost;
class FileChooser;
class HttpClient;
class SerialTransport;

// The platform behind the windows. The program passes real services; tests pass doubles.
// The windows do not own any of them.
struct AppServices {
    Prompt* prompt = nullptr;
    Sleeper* sleeper = nullptr;
    StepTimer* steps = nullptr;
    Clock* clock = nullptr;
    SoundPlayer* sound = nullptr;
    ScreenSaver* screenSaver = nullptr;
    UrlOpener* urlOpener = nullptr;
    PelletStore* store = nullptr;
    ControlHost* controls = nullptr;
    FileChooser* files = nullptr;
    HttpClient* http = nullptr;
    std::function<std::unique_ptr<SerialTransport>()> makeSerialTransport;
    CommPort::PathResolver portPath;
};
