#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

#include <QCoroTask>

#include <chrono>

namespace pm {

// Sends `message` without blocking the caller's thread and resumes with the reply, or with an error
// message when nobody answers within `timeout`. The connection is taken by value: the coroutine must not
// depend on its caller's objects while it waits.
QCoro::Task<QDBusMessage> callDBus(QDBusConnection connection, QDBusMessage message,
                                   std::chrono::milliseconds timeout);

}  // namespace pm
