#include "platform_services.h"

#include "services/install_paths.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSoundEffect>
#include <QThread>

EffectSoundPlayer::EffectSoundPlayer() = default;
EffectSoundPlayer::~EffectSoundPlayer() = default;

QString EffectSoundPlayer::locate(const QString& fileName)
{
    const QString shipped = install_paths::findDataFile(fileName);
    if (!shipped.isEmpty())
        return shipped;
    const QString current = QDir::current().filePath(fileName);
    return QFileInfo::exists(current) ? current : QString();
}

bool EffectSoundPlayer::play(const QString& fileName, bool wait)
{
    auto it = m_effects.find(fileName);
    if (it == m_effects.end()) {
        const QString path = locate(fileName);
        if (path.isEmpty())
            return false;
        auto effect = std::make_unique<QSoundEffect>();
        effect->setSource(QUrl::fromLocalFile(path));
        it = m_effects.emplace(fileName, std::move(effect)).first;
    }
    QSoundEffect* effect = it->second.get();
    if (effect->status() == QSoundEffect::Error)
        return false;
    effect->play();
    if (wait) {
        // A synchronous play blocks like the platform call it stands for, bounded for safety.
        QElapsedTimer timer;
        timer.start();
        while (effect->isPlaying() && timer.elapsed() < 5000)
            QThread::msleep(10);
    }
    return true;
}

namespace {
QDBusInterface* screenSaverInterface()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;
    auto* iface = new QDBusInterface(QStringLiteral("org.freedesktop.ScreenSaver"),
                                     QStringLiteral("/org/freedesktop/ScreenSaver"),
                                     QStringLiteral("org.freedesktop.ScreenSaver"), bus);
    iface->setTimeout(500);
    if (!iface->isValid()) {
        delete iface;
        return nullptr;
    }
    return iface;
}
} // namespace

DBusScreenSaver::~DBusScreenSaver()
{
    if (m_inhibited)
        setActive(true);
}

void DBusScreenSaver::setActive(bool active)
{
    std::unique_ptr<QDBusInterface> iface(screenSaverInterface());
    if (!iface)
        return;
    if (!active && !m_inhibited) {
        QDBusReply<uint> reply =
            iface->call(QStringLiteral("Inhibit"), QStringLiteral("Velmora"), QStringLiteral("Capturing shots"));
        if (reply.isValid()) {
            m_cookie = reply.value();
            m_inhibited = true;
        }
    } else if (active && m_inhibited) {
        iface->call(QStringLiteral("UnInhibit"), m_cookie);
        m_inhibited = false;
    }
}

void DesktopUrlOpener::open(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}
