#include "platform/atspi/AccessibilityBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace AccessibilityBus {

namespace {

const QString kService = QStringLiteral("org.a11y.Bus");
const QString kPath = QStringLiteral("/org/a11y/bus");

std::optional<QVariant> reply(const QDBusMessage& call, int timeoutMs) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return std::nullopt;
    const QDBusMessage answer = bus.call(call, QDBus::Block, timeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) return std::nullopt;
    return answer.arguments().first();
}

} // namespace

std::optional<QString> address(int timeoutMs) {
    const auto value = reply(QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.a11y.Bus"),
                                                            QStringLiteral("GetAddress")),
                             timeoutMs);
    if (!value || value->toString().isEmpty()) return std::nullopt;
    return value->toString();
}

bool isEnabled(int timeoutMs) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    const auto value = reply(get, timeoutMs);
    return value && value->value<QDBusVariant>().variant().toBool();
}

void enable() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage set = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
        << QVariant::fromValue(QDBusVariant(true));
    bus.send(set);
}

} // namespace AccessibilityBus
