#include "core/HoverModifier.h"

namespace HoverModifiers {

const QList<HoverModifier>& allCases() {
    static const QList<HoverModifier> cases{HoverModifier::Option, HoverModifier::Command,
                                            HoverModifier::Control};
    return cases;
}

QString rawValue(HoverModifier m) {
    switch (m) {
    case HoverModifier::Command:
        return QStringLiteral("command");
    case HoverModifier::Control:
        return QStringLiteral("control");
    case HoverModifier::Option:
        break;
    }
    return QStringLiteral("option");
}

HoverModifier fromRawValue(const QString& raw) {
    for (const HoverModifier m : allCases())
        if (rawValue(m) == raw) return m;
    return HoverModifier::Option;
}

// Named as the keys of a PC keyboard are labelled.
QString label(HoverModifier m) {
    switch (m) {
    case HoverModifier::Command:
        return QStringLiteral("Super");
    case HoverModifier::Control:
        return QStringLiteral("Ctrl");
    case HoverModifier::Option:
        break;
    }
    return QStringLiteral("Alt");
}

quint64 eventFlag(HoverModifier m) {
    switch (m) {
    case HoverModifier::Command:
        return commandFlag;
    case HoverModifier::Control:
        return controlFlag;
    case HoverModifier::Option:
        break;
    }
    return optionFlag;
}

} // namespace HoverModifiers
