#pragma once

#include <QApplication>
#include <exception>
#include <functional>
#include <type_traits>

// The event boundary. A failure that escapes an event handler (a button, a menu, a timer, the
// serial receive event, a dialog) ends that handler, is reported on standard error, and leaves
// the program running: Qt's own frames are not built to unwind an exception.
namespace event_guard {

void report(const char* where, const char* what);

// Runs `handler`, stopping any failure at this boundary.
template <typename F> void run(const char* where, F&& handler) noexcept
{
    try {
        handler();
    } catch (const std::exception& failure) {
        report(where, failure.what());
    } catch (...) {
        report(where, "unknown failure");
    }
}

// Calls `f` with the signal's arguments when it takes them, without when it does not.
template <typename F, typename... Args> void invokeFitting(F& f, Args&&... args)
{
    // Only a call that fits is compiled: a compiler may instantiate the others while Qt works
    // out how many of a signal's arguments the slot takes.
    if constexpr (std::is_invocable_v<F&, Args...>)
        std::invoke(f, std::forward<Args>(args)...);
    else if constexpr (std::is_invocable_v<F&>)
        std::invoke(f);
}

} // namespace event_guard

// A slot that runs `handler` behind the event boundary; for connections of the program's
// handlers: connect(button, &QPushButton::clicked, this, guarded([this] { btnSave_Click(); })).
template <typename F> auto guarded(F handler)
{
    return [handler = std::move(handler)](auto&&... args) mutable {
        event_guard::run("event handler",
                         [&] { event_guard::invokeFitting(handler, std::forward<decltype(args)>(args)...); });
    };
}

// The same for a member function of `receiver`.
template <typename R, typename M> auto guarded(R* receiver, M method)
{
    return guarded([receiver, method](auto&&... args) {
        if constexpr (std::is_invocable_v<M, R*, decltype(args)...>)
            std::invoke(method, receiver, std::forward<decltype(args)>(args)...);
        else if constexpr (std::is_invocable_v<M, R*>)
            std::invoke(method, receiver);
    });
}

// The program's application object: the last line of the event boundary, for failures that
// escape an event handler override rather than a connected slot.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};
