#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class CaptureHost;

// The Shooting Chrony's memory functions as one conversation: the query when its window opens,
// moving the device's string pointer, the download requests, clearing the memory, and the closing
// steps that put the pointer back and end remote mode. The window shows it; the conversation goes
// on, and ends, whether or not the window is still there, and a pull ends it at any step.
class ChronyMemoryExchange : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,           // no conversation
        Opening,        // "SYSX" sent, its wait running
        Querying,       // "X.QRY" sent, collecting the reply up to "}ok!"
        Ready,          // the reply was parsed; downloads are answered through the live path
        Moving,         // pointer moves under way
        Clearing,       // "X.GEE" sent
        Cleared,        // "All Shots now cleared." to show, then the query again
        Ending,         // the closing steps under way
        EndingOnReturn, // ended while the device was away: "X.END" goes out when it is back
    };

    explicit ChronyMemoryExchange(CaptureHost& host, QObject* parent = nullptr);

    State state() const { return m_state; }
    // A conversation is under way or still has closing commands to send.
    bool active() const { return m_state != State::Idle; }

    // The window's actions.
    void begin();
    void pick(int string);
    void dump();
    // Clears the memory (the user said yes).
    void clear();
    // The window closes: the closing steps run, then live capture resumes.
    void end();

    // A reply collected up to the ">" prompt, with CR LF.
    void reply(const QString& text);
    // The device went away; what the user should know about a download it cut, if any.
    QString deviceLost();
    // The device is back: false while "X.END" is still to be sent first (resumed() follows).
    bool deviceBack();
    // Asked by the live path before it records a shot: true for the shots of a cut download that
    // a second download of the same string delivers again (they are recorded already).
    bool skipDownloadedShot();

    // What the window shows.
    const QString& output() const { return m_output; }
    QString lastString() const { return m_lastString; }
    int queriedString() const { return m_queriedString; }
    bool dumpEnabled() const { return m_dumpEnabled; }
    QString dumpCaption() const { return m_dumpCaption; }
    bool clearEnabled() const { return m_clearEnabled; }
    bool listEnabled() const { return m_listEnabled; }

    static QString communicationErrorText();
    // "The download of string 2 was cut when the Chrony was disconnected: ..."
    static QString cutDownloadText(int string, int recorded);

signals:
    void outputChanged();
    // Entries 1 to count were added to the list, none selected; the stored count shows count.
    void stringsListed(int count);
    // The stored count shows 1 and the entry "1" is added.
    void oneStringAssumed();
    // The list shows this string as selected.
    void stringSelected(int number);
    void controlsChanged();
    // Live capture goes on again after "X.END" was sent on the device's return.
    void resumedAfterReturn();

private:
    void send(const QString& command);
    bool command(const QString& text);
    void failed();
    void parse();
    void moveStep(unsigned generation);
    void sendCopy();
    void downloadStarted();
    void closeStep(unsigned generation);
    void awaitReturn();
    void resume(bool endSent);
    void setControls(bool dump, bool clear, bool list);

    CaptureHost& m_host;
    State m_state = State::Idle;
    // Every begin, end and loss starts a new generation: a step of an earlier one does nothing.
    unsigned m_generation = 0;
    QString m_output;
    QString m_lastChronyCommand;
    QString m_lastString;
    int m_queriedString = 0;
    int m_storedShown = 0;
    int m_listCount = 0;
    bool m_listSelected = false;
    int m_target = 0;
    bool m_listBeforeMoves = true;
    bool m_dumpEnabled = false;
    QString m_dumpCaption = QStringLiteral("Dump String");
    bool m_clearEnabled = true;
    bool m_listEnabled = true;
    // The download last requested, and the shot count when it was.
    int m_downloadString = 0;
    int m_shotsAtDownload = 0;
    // A download cut by a pull: its string and how many of its shots were recorded.
    int m_cutString = 0;
    int m_cutRecorded = 0;
    int m_skipRemaining = 0;
    int m_skippedThisDownload = 0;
    // Since the last line of the download came.
    QElapsedTimer m_sinceDownloadLine;
    // "X.END" could not be sent at the end, though the port had not told of a loss yet.
    bool m_endOwed = false;
};
