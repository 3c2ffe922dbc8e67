#pragma once

#include <QApplication>
#include <exception>
#include <functional>
#include <tuple>
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

// Calls `f` with as many of the signal's leading arguments as it takes (a slot may take fewer
// than the signal gives, as with Qt's own connections).
template <typename F, typename Tuple, std::size_t... I> void callWith(F& f, Tuple& args, std::index_sequence<I...>)
{
    std::invoke(f, std::get<I>(args)...);
}

template <typename F, typename Tuple, std::size_t... I>
constexpr bool takesLeading(std::index_sequence<I...>)
{
    return std::is_invocable_v<F&, std::tuple_element_t<I, Tuple>...>;
}

template <std::size_t N, typename F, typename Tuple> void callWithLeading(F& f, Tuple& args)
{
    // Only a call that fits is compiled: Qt instantiates the slot with fewer arguments than the
    // signal gives while it works out how many the slot takes.
    if constexpr (takesLeading<F, Tuple>(std::make_index_sequence<N>{}))
        callWith(f, args, std::make_index_sequence<N>{});
    else if constexpr (N > 0)
        callWithLeading<N - 1>(f, args);
}

} // namespace event_guard

// A slot that runs `handler` behind the event boundary; for connections of the program's
// handlers: connect(button, &QPushButton::clicked, this, guarded([this] { btnSave_Click(); })).
template <typename F> auto guarded(F handler)
{
    return [handler = std::move(handler)](auto&&... args) mutable {
        event_guard::run("event handler", [&] {
            auto arguments = std::forward_as_tuple(std::forward<decltype(args)>(args)...);
            event_guard::callWithLeading<sizeof...(args)>(handler, arguments);
        });
    };
}

// The same for a member function of `receiver`.
template <typename R, typename M> auto guarded(R* receiver, M method)
{
    return guarded(std::bind_front(method, receiver));
}

// The program's application object: the last line of the event boundary, for failures that
// escape an event handler override rather than a connected slot.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};
