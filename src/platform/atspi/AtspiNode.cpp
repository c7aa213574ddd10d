#include "platform/atspi/AtspiNode.h"

#include <QRegularExpression>
#include <QStringList>

namespace atspi {

namespace {

using AccessibilityLookup::CharacterRange;

// Characters read on each side of the pointer: the lookup's reach, which in
// UTF-16 units never spans more characters, and a little more.
constexpr qint64 kStretch = AccessibilityLookup::kTextReach + 8;

QString fromUtf8(const Chars& chars) {
    return chars ? QString::fromUtf8(chars.get()) : QString();
}

std::optional<QRectF> rectangle(const Rect& rect, const Session& session) {
    if (!rect) return std::nullopt;
    return session.fromScreen(QRectF(rect->x, rect->y, rect->width, rect->height));
}

} // namespace

Node::Node(std::shared_ptr<Session> session, Ref<AtspiAccessible> accessible,
           Ref<AtspiAccessible> application)
    : session_(std::move(session)), accessible_(std::move(accessible)), application_(std::move(application)) {
}

QString Node::roleName(const QString& atspiRoleName) {
    QString out = QStringLiteral("AX");
    for (const QString& word :
         atspiRoleName.split(QRegularExpression(QStringLiteral("[ _-]+")), Qt::SkipEmptyParts))
        out += word.at(0).toUpper() + word.mid(1);
    return out;
}

std::optional<QString> Node::role() {
    if (!role_) {
        role_.emplace();
        const auto role =
            session_->call([&](GError** e) { return atspi_accessible_get_role(accessible(), e); });
        if (role && *role != ATSPI_ROLE_INVALID) {
            const Chars name(atspi_role_get_name(*role));
            if (name) *role_ = roleName(fromUtf8(name));
        }
    }
    return *role_;
}

AccessibilityLookup::Value Node::url() {
    const auto link = session_->call([&](GError**) { return atspi_accessible_get_hyperlink(accessible()); });
    if (!link || !*link) return {};
    const Ref<AtspiHyperlink> owned(*link);
    const auto uri = session_->call([&](GError** e) { return atspi_hyperlink_get_uri(owned.get(), 0, e); });
    if (!uri) return {};
    const QString text = fromUtf8(Chars(*uri));
    if (text.isEmpty()) return {};
    // An address with a scheme is a URL; anything else is text to resolve.
    const QUrl parsed(text, QUrl::StrictMode);
    if (parsed.isValid() && parsed.scheme().size() > 1) return parsed;
    return text;
}

std::optional<QString> Node::filename() {
    const auto attributes =
        session_->call([&](GError** e) { return atspi_accessible_get_attributes(accessible(), e); });
    if (!attributes || !*attributes) return std::nullopt;
    const Hash owned(*attributes);
    const auto* value = static_cast<const gchar*>(g_hash_table_lookup(owned.get(), "filename"));
    if (!value) return std::nullopt;
    return QString::fromUtf8(value);
}

std::optional<QString> Node::label(AccessibilityLookup::Label which) {
    using AccessibilityLookup::Label;
    std::optional<gchar*> chars;
    switch (which) {
    case Label::Value: {
        const std::optional<qint64> count = numberOfCharacters();
        if (!count || *count > AccessibilityLookup::kLongestLabel) return std::nullopt;
        return text(0, *count);
    }
    case Label::Description:
        chars = session_->call([&](GError** e) { return atspi_accessible_get_description(accessible(), e); });
        break;
    case Label::Title:
        chars = session_->call([&](GError** e) { return atspi_accessible_get_name(accessible(), e); });
        break;
    }
    if (!chars || !*chars) return std::nullopt;
    return fromUtf8(Chars(*chars));
}

std::optional<QRectF> Node::frame() {
    if (!frame_) {
        frame_.emplace();
        const auto component =
            session_->call([&](GError**) { return atspi_accessible_get_component_iface(accessible()); });
        if (component && *component) {
            const Ref<AtspiComponent> owned(*component);
            const auto extents = session_->call([&](GError** e) {
                return atspi_component_get_extents(owned.get(), ATSPI_COORD_TYPE_SCREEN, e);
            });
            if (extents) *frame_ = rectangle(Rect(*extents), *session_);
        }
    }
    return *frame_;
}

std::shared_ptr<AccessibilityLookup::Element> Node::parent() {
    if (accessible() == application_.get()) return nullptr;
    const auto parent =
        session_->call([&](GError** e) { return atspi_accessible_get_parent(accessible(), e); });
    if (!parent || !*parent) return nullptr;
    return std::make_shared<Node>(session_, Ref<AtspiAccessible>(*parent), share(application_.get()));
}

qint64 Node::childCount() {
    const auto count =
        session_->call([&](GError** e) { return atspi_accessible_get_child_count(accessible(), e); });
    return count ? std::max<qint64>(*count, 0) : 0;
}

std::shared_ptr<AccessibilityLookup::Element> Node::child(qint64 index) {
    const auto child = session_->call(
        [&](GError** e) { return atspi_accessible_get_child_at_index(accessible(), gint(index), e); });
    if (!child || !*child) return nullptr;
    return std::make_shared<Node>(session_, Ref<AtspiAccessible>(*child), share(application_.get()));
}

std::optional<bool> Node::showing() {
    const auto states =
        session_->call([&](GError**) { return atspi_accessible_get_state_set(accessible()); });
    if (!states || !*states) return std::nullopt;
    const Ref<AtspiStateSet> owned(*states);
    return bool(atspi_state_set_contains(owned.get(), ATSPI_STATE_SHOWING));
}

std::optional<qint64> Node::numberOfCharacters() {
    if (!count_) {
        const auto text =
            session_->call([&](GError**) { return atspi_accessible_get_text_iface(accessible()); });
        if (!text || !*text) return std::nullopt;
        const Ref<AtspiText> owned(*text);
        const auto count =
            session_->call([&](GError** e) { return atspi_text_get_character_count(owned.get(), e); });
        if (!count || *count < 0) return std::nullopt;
        count_ = *count;
    }
    if (textWindow_) return textWindow_->utf16Length(*count_);
    return count_;
}

std::optional<QString> Node::text(qint64 from, qint64 to) {
    const auto text = session_->call([&](GError**) { return atspi_accessible_get_text_iface(accessible()); });
    if (!text || !*text) return std::nullopt;
    const Ref<AtspiText> owned(*text);
    const auto chars =
        session_->call([&](GError** e) { return atspi_text_get_text(owned.get(), gint(from), gint(to), e); });
    if (!chars || !*chars) return std::nullopt;
    return fromUtf8(Chars(*chars));
}

std::optional<CharacterRange> Node::rangeForPosition(QPointF point) {
    const auto text = session_->call([&](GError**) { return atspi_accessible_get_text_iface(accessible()); });
    if (!text || !*text) return std::nullopt;
    const Ref<AtspiText> owned(*text);
    const QPoint screen = session_->toScreen(point);
    const auto offset = session_->call([&](GError** e) {
        return atspi_text_get_offset_at_point(owned.get(), screen.x(), screen.y(), ATSPI_COORD_TYPE_SCREEN,
                                              e);
    });
    const std::optional<qint64> count = numberOfCharacters();
    if (!offset || *offset < 0 || !count || *offset > *count) return std::nullopt;

    // The text around the pointer is read once; the lookup's window lies inside it.
    const qint64 from = std::max<qint64>(*offset - kStretch, 0);
    const qint64 to = std::min<qint64>(*offset + kStretch, *count);
    const std::optional<QString> stretch = this->text(from, to);
    if (!stretch) return std::nullopt;
    textWindow_.emplace(from, to, *stretch);
    const std::optional<qint64> location = textWindow_->utf16Offset(*offset);
    if (!location) return std::nullopt;
    return CharacterRange{*location, textWindow_->unitsAt(*offset)};
}

std::optional<QRectF> Node::boundsForRange(CharacterRange range) {
    if (!textWindow_) return std::nullopt;
    const std::optional<qint64> from = textWindow_->applicationOffset(range.location);
    const std::optional<qint64> to = textWindow_->applicationOffset(range.location + range.length, true);
    if (!from || !to) return std::nullopt;
    const auto text = session_->call([&](GError**) { return atspi_accessible_get_text_iface(accessible()); });
    if (!text || !*text) return std::nullopt;
    const Ref<AtspiText> owned(*text);
    const auto extents = session_->call([&](GError** e) {
        return atspi_text_get_range_extents(owned.get(), gint(*from), gint(*to), ATSPI_COORD_TYPE_SCREEN, e);
    });
    if (!extents) return std::nullopt;
    return rectangle(Rect(*extents), *session_);
}

std::optional<QString> Node::stringForRange(CharacterRange range) {
    if (!textWindow_) return std::nullopt;
    return textWindow_->slice(range.location, range.length);
}

std::optional<QString> Node::documentAddress() {
    const auto document =
        session_->call([&](GError**) { return atspi_accessible_get_document_iface(accessible()); });
    if (!document || !*document) return std::nullopt;
    const Ref<AtspiDocument> owned(*document);
    for (const char* name : {"DocURL", "URI"}) {
        QByteArray key(name);
        const auto value = session_->call([&](GError** e) {
            return atspi_document_get_document_attribute_value(owned.get(), key.data(), e);
        });
        if (!value || !*value) continue;
        const QString address = fromUtf8(Chars(*value));
        if (!address.isEmpty()) return address;
    }
    return std::nullopt;
}

} // namespace atspi
