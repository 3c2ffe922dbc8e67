#pragma once

#include <QObject>
#include <QString>

class CaptureHost;

// The CED string dump: downloads one stored string, or all of them, shot by shot. Each shot's
// request/reply exchange is one timed step; between shots the event loop runs, so the window can
// be closed or the device pulled at any shot. The window is only a view: it shows what is
// signalled and calls begin, dumpString, dumpAll and end, which return at once.
class CedDumpExchange : public QObject {
    Q_OBJECT
public:
    explicit CedDumpExchange(CaptureHost& host, QObject* parent = nullptr);

    // The window opens: the poll stops and its state is reset. False when the device is not
    // connected (nothing was asked of it).
    bool begin();
    // The highest string the device holds (0 when none). A connection found lost is reported
    // from a step of the exchange, after the window has opened.
    int strings();
    void dumpString(int string);
    void dumpAll();
    // The window closes: a dump stops after the shot under way and records nothing more; the
    // poll is resynchronised and started, and the main window enabled, once the device is free.
    void end();

    bool dumping() const { return m_state == State::Dumping; }
    // Nothing of a window's visit is left to do: the poll owns the device again.
    bool idle() const { return m_state == State::Idle; }

    // How a dump that a lost connection cut short is told, and resumed by the next dump.
    static QString cutNotice(int string, int recorded, bool all);

signals:
    // One shot dumped: listed and recorded.
    void shotListed(int string, int shot, double fps);
    // A dump is over (done, cut or refused); the window takes input again.
    void dumpEnded();

private:
    enum class State { Idle, Ready, Dumping, Reporting, Closing };
    // Where a dump cut by a lost connection stopped: that string's first `recorded` shots are in
    // the table; with `all`, so are the strings before it.
    struct Cut {
        bool valid = false;
        bool all = false;
        int string = 0;
        int recorded = 0;
    };

    void start(bool all, int string);
    void schedule(void (CedDumpExchange::*step)());
    void stepStatus();
    void stepShotCount();
    void stepShot();
    void nextString();
    // The device is gone or stopped answering: told from this step, then the dump ends.
    void connectionLost();
    void reportLost();
    void finishDump();
    void closingStep();
    bool exchangeLost();

    CaptureHost& m_host;
    State m_state = State::Idle;
    quint64 m_generation = 0;
    bool m_closeWanted = false;
    // The dump under way.
    bool m_all = false;
    int m_string = 0;
    int m_lastString = 0;
    int m_shot = 0;
    int m_shots = 0;
    int m_recordedOfString = 0;
    bool m_recordedAny = false;
    Cut m_cut;
    Cut m_resume;
};
