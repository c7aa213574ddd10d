#include "platform/gnome/ShellReplies.h"

#include <QDBusArgument>
#include <cmath>

namespace platform::ShellReplies {

namespace {

// The largest scale GNOME offers is 4; anything far past it is not a scale.
constexpr double kLargestScale = 8.0;

template <typename T> bool holds(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<T>();
}

// The reply's arguments when it is a reply with exactly these D-Bus types.
std::optional<QVariantList> arguments(const QDBusMessage& reply, const QString& signature) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != signature) return std::nullopt;
    return reply.arguments();
}

// Reads an (iiii) from a demarshalling argument already at it.
QRect rect(const QDBusArgument& argument) {
    int x = 0, y = 0, width = 0, height = 0;
    argument.beginStructure();
    argument >> x >> y >> width >> height;
    argument.endStructure();
    return QRect(x, y, width, height);
}

} // namespace

std::optional<PointerState> pointer(const QDBusMessage& reply) {
    const auto args = arguments(reply, QStringLiteral("iiu"));
    if (!args) return std::nullopt;
    return PointerState{QPoint(args->at(0).toInt(), args->at(1).toInt()), args->at(2).toUInt()};
}

std::optional<WindowInfo> window(const QDBusMessage& reply) {
    const auto args = arguments(reply, QStringLiteral("bisss(iiii)"));
    if (!args || !args->at(0).toBool() || !holds<QDBusArgument>(args->at(5))) return std::nullopt;
    const QRect frame = rect(args->at(5).value<QDBusArgument>());
    if (frame.isEmpty()) return std::nullopt;
    WindowInfo info;
    info.pid = args->at(1).toInt();
    info.title = args->at(2).toString();
    info.className = args->at(3).toString();
    info.instanceName = args->at(4).toString();
    info.frame = QRectF(frame);
    return info;
}

std::optional<QList<ScreenArea>> monitors(const QDBusMessage& reply) {
    const auto args = arguments(reply, QStringLiteral("a((iiii)(iiii)d)"));
    if (!args || !holds<QDBusArgument>(args->at(0))) return std::nullopt;
    const QDBusArgument argument = args->at(0).value<QDBusArgument>();
    QList<ScreenArea> screens;
    bool sound = true;
    // Read to the end even past a bad entry: leaving the array open leaks Qt's reader.
    argument.beginArray();
    while (!argument.atEnd()) {
        argument.beginStructure();
        const QRect frame = rect(argument);
        const QRect usable = rect(argument);
        double scale = 0;
        argument >> scale;
        argument.endStructure();
        // The usable area lies within the monitor; a panel can only take from it.
        sound = sound && !frame.isEmpty() && frame.contains(usable) && !usable.isEmpty() &&
                std::isfinite(scale) && scale > 0 && scale <= kLargestScale;
        screens.append(ScreenArea{QRectF(frame), QRectF(usable), scale});
    }
    argument.endArray();
    if (!sound) return std::nullopt;
    if (screens.isEmpty()) return std::nullopt;
    return screens;
}

} // namespace platform::ShellReplies
