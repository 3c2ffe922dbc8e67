#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

class CaptureHost;

// The ProChrono's remote functions as a conversation of the capture: the status query on opening,
// Change String, Delete String and Dump String, each a sequence of frames with the waits the
// device needs between them. The waits are timed steps, so the window that shows the exchange
// can be closed, and the cable pulled, at any step; the exchange then ends by itself and puts the
// capture back into live mode. Requests made while a sequence runs are carried out after it, in
// the order they came.
class ProChronoRemoteExchange : public QObject {
    Q_OBJECT
public:
    explicit ProChronoRemoteExchange(CaptureHost& host, QObject* parent = nullptr);

    // Remote mode begins: received characters come here, the polls stop, the status is read.
    void begin();
    void changeString();
    // After the window's question: the string is cleared only when confirmed; the status is read
    // again either way.
    void deleteString(bool confirmed);
    void dumpString();
    // Remote mode ends. A wait that is running is let run out first, so that the reply to what was
    // already sent is not taken for a live reading; then the port reads single characters again,
    // the main window takes input and the polls start.
    void end();

    // One read of the serial input in remote mode.
    void receive(const QString& x);

    // The serial device went away: the exchange stops where it is and live mode is set up for
    // the port's return.
    void deviceLost();
    // The serial device is back: single-character reads are made sure of before live capture
    // resumes. Always true: nothing has to go on the wire first.
    bool deviceBack();

    // Between begin() and the end of the closing steps.
    bool isActive() const { return m_state != State::Idle; }
    // Steps are running, or the closing steps wait for the last reply.
    bool isBusy() const { return m_state == State::Running || m_state == State::Ending; }
    // The string the device reported last.
    int currentString() const;

    // Shots of a string that a cut dump already recorded; the next dump of it skips them.
    struct Cut {
        int string = -1;
        int recorded = 0;
    };
    Cut cutDump() const { return m_cut; }

    // What the user is told when a dump is cut off.
    static QString cutDumpText(int string, int recorded, int total, bool disconnected);

signals:
    // A status reply was read: the device's current string and its number of shots.
    void statusRead(int currentString, int shotsInString);

private:
    enum class State { Idle, Ready, Running, Ending };
    // Something to do, then a pause before the next step (none when 0).
    struct Step {
        std::function<void()> action;
        int waitAfter = 0;
    };
    using Sequence = std::vector<Step>;

    void request(std::function<Sequence()> sequence);
    void startNext();
    void runSteps();
    void stepsFailed();
    void closingSteps();
    void liveReadsAgain();
    void send(const QString& frame);
    void setInputLength(int n);
    void handleReply(const QString& reply);
    void recordBlock(const QStringList& pieces);
    void noteCutDump(bool disconnected);
    // Runs `what` from the event loop unless the exchange has ended or begun again meanwhile.
    void later(int milliseconds, std::function<void()> what);

    CaptureHost& m_host;
    State m_state = State::Idle;
    // Bumped on every begin and end: a step scheduled before then does nothing.
    quint64 m_generation = 0;
    std::deque<Step> m_steps;
    std::deque<std::function<Sequence()>> m_requests;
    // The pause running now, when a step is waiting.
    int m_waiting = 0;
    // Characters of a reply still coming in: a reply is handled when a whole read's worth is in.
    QString m_pending;
    // After a pull: the single-character reads are made sure of on the device's return.
    bool m_closingOnReturn = false;

    struct Dump {
        bool running = false;
        int string = 0;
        int total = 0;
        // Shots recorded earlier that this dump leaves out.
        int skip = 0;
        int blocksRead = 0;
        // The position in the string of the last shot recorded (by this dump or the cut one).
        int recordedUpTo = 0;
    };
    Dump m_dump;
    Cut m_cut;
};
