#include "platform/Desktop.h"

namespace platform {

namespace {

// Nothing under a pointer that never moves, no keys, no screens, and neither
// permission: the hover loop idles on it.
class NullDesktop final : public Desktop {
  public:
    QPointF pointer() override { return {0, 0}; }
    quint64 modifierFlags() override { return 0; }
    std::optional<WindowInfo> windowAt(QPointF) override { return std::nullopt; }
    QList<ScreenArea> screens() override { return {}; }
    bool accessibilityEnabled() override { return false; }
    bool canReadScreen() override { return false; }
    bool watchModifiers(std::function<void(quint64)>) override { return false; }
};

} // namespace

std::unique_ptr<Desktop> nullDesktop() {
    return std::make_unique<NullDesktop>();
}

} // namespace platform
