#pragma once

#include <QString>
#include <QUrl>
#include <map>
#include <memory>

class QSoundEffect;

// Plays a short sound by file name; true when the sound could be started.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual bool play(const QString& fileName, bool wait) = 0;
};

// Switches the desktop screen saver on or off.
class ScreenSaver {
public:
    virtual ~ScreenSaver() = default;
    virtual void setActive(bool active) = 0;
};

// Opens a web page in the user's browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const QUrl& url) = 0;
};

// Sounds through QSoundEffect, looked up beside the executable, in the installed data folder, then in
// the current directory.
class EffectSoundPlayer : public SoundPlayer {
public:
    EffectSoundPlayer();
    ~EffectSoundPlayer() override;
    bool play(const QString& fileName, bool wait) override;
    static QString locate(const QString& fileName);

private:
    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
};

// org.freedesktop.ScreenSaver Inhibit/UnInhibit over the session bus; nothing where absent.
class DBusScreenSaver : public ScreenSaver {
public:
    ~DBusScreenSaver() override;
    void setActive(bool active) override;

private:
    uint m_cookie = 0;
    bool m_inhibited = false;
};

class DesktopUrlOpener : public UrlOpener {
public:
    void open(const QUrl& url) override;
};
