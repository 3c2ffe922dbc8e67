// The event boundary: a failure inside a handler ends the handler, never the program.
#include "services/event_guard.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <stdexcept>

namespace {
// An object whose own event handling fails, as an overridden event handler might.
class Failing : public QObject {
public:
    int seen = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) {
            ++seen;
            throw std::runtime_error("handler failed");
        }
        return QObject::event(e);
    }
};
} // namespace

class TestEventGuard : public QObject {
    Q_OBJECT
private slots:
    void aConnectedHandlerThatThrowsEndsThere()
    {
        QPushButton button;
        int runs = 0;
        QObject::connect(&button, &QPushButton::clicked, &button, guarded([&] {
                             ++runs;
                             throw std::runtime_error("no number");
                         }));
        button.click();
        button.click();
        QCOMPARE(runs, 2);
    }

    void handlersGetTheArgumentsTheyTake()
    {
        QTimer timer;
        QString taken;
        struct Receiver {
            QString* into;
            void withText(const QString& t) { *into += t; }
            void without() { *into += QStringLiteral("-"); }
        } receiver{&taken};
        QObject source;
        QObject::connect(&source, &QObject::objectNameChanged, &source, guarded(&receiver, &Receiver::withText));
        QObject::connect(&source, &QObject::objectNameChanged, &source, guarded(&receiver, &Receiver::without));
        source.setObjectName(QStringLiteral("x"));
        QCOMPARE(taken, QStringLiteral("x-"));
    }

    void theApplicationStopsAFailureThatEscapesAnEventHandler()
    {
        Failing failing;
        QEvent first(QEvent::User);
        QCoreApplication::sendEvent(&failing, &first);
        QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(failing.seen, 2);
    }
};

int main(int argc, char** argv)
{
    GuardedApplication app(argc, argv);
    TestEventGuard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_event_guard.moc"
