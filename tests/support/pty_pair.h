#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal whose device side a test drives: the program opens path(), the test
// writes and reads the other end.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    bool isValid() const { return m_master >= 0; }
    QString path() const { return m_path; }
    void write(const QByteArray& bytes);
    // Reads what the program sent, waiting up to timeoutMs for the first byte.
    QByteArray read(int timeoutMs = 1000);
    // Closes the device side, as an unplugged adapter would.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};
