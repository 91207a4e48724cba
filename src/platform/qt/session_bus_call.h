#pragma once
// A method call on the session bus that waits for its reply, at most 2 s: a
// desktop that does not answer must not hold the program up for longer.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QVariant>

namespace qt {

inline QDBusMessage CallSessionBus(const QString& service, const QString& path, const QString& interface,
                                   const QString& method, const QList<QVariant>& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
}

}  // namespace qt
