#pragma once
// Periodic tick sources for the Qt backend's timers: a timerfd watched by the
// event loop on Linux, a precise QTimer elsewhere.
#include <functional>

class QObject;

namespace qt {

// Starts a source that calls onTick(source) every intervalMs (at least 1) from
// the event loop, in the thread's context object `context` (the ticks stop
// when it goes). The source is the caller's until handed to RetireTickSource.
//
// On Linux a source is a timerfd: it fires on time to the microsecond, where a
// QTimer waits in whole milliseconds, rounded up (a 10 ms period came out as
// 10.3, 10.3, 9.3 ms...). Ticks missed while the thread was busy are run as one.
// Where a timerfd cannot be made or armed, the QTimer is used instead, and one
// line on stderr says so.
QObject* StartTickSource(int intervalMs, QObject* context, std::function<void(QObject*)> onTick);

// Stops a source; it is deleted once no tick of it is on the stack.
void RetireTickSource(QObject* source);

}  // namespace qt
