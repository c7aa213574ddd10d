#include "platform/a11y/AccessibilityStatus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QVariantMap>

namespace platform::AccessibilityStatus {

namespace {

bool isTrue(const QVariantMap& properties, const QString& name) {
    const QVariant value = properties.value(name);
    return value.metaType() == QMetaType::fromType<bool>() && value.toBool();
}

} // namespace

bool enabled(const QDBusConnection& bus, int timeoutMs) {
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    call << QStringLiteral("org.a11y.Status");
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return false;
    const QVariant answer = reply.arguments().constFirst();
    if (answer.metaType() != QMetaType::fromType<QDBusArgument>()) return false;
    const QDBusArgument argument = answer.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a{sv}")) return false;
    const QVariantMap properties = qdbus_cast<QVariantMap>(argument);
    return isTrue(properties, QStringLiteral("IsEnabled")) ||
           isTrue(properties, QStringLiteral("ScreenReaderEnabled"));
}

} // namespace platform::AccessibilityStatus
