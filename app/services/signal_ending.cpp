#include "signal_ending.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_received = 0;
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

void onSignal(int signal)
{
    if (g_received) // the orderly ending did not come fast enough for the sender
        ::_exit(128 + signal);
    g_received = 1;
    const int saved = errno;
    const char byte = char(signal);
    (void)!::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalEnding::SignalEnding(std::function<void()> handler, QObject* parent)
    : QObject(parent), m_onSignal(std::move(handler))
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without the pipe, the signals keep their default action
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1) {
        }
        if (m_onSignal)
            m_onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

SignalEnding::~SignalEnding()
{
    for (int signal : kSignals)
        ::signal(signal, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}
