#include "app/ui/SettingsPane.h"

#include "app/agent/CardGeometry.h"
#include "app/ui/PreviewSample.h"
#include "core/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int kPaneWidth = 460;
constexpr int kMargin = 20;
constexpr int kTextWidth = 420;

QColor secondaryColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.6f);
    return color;
}

QFont smallFont(QFont font) {
    font.setPointSizeF(std::max(7.0, font.pointSizeF() * 11.0 / 13.0));
    return font;
}

QWidget* spacer(int height) {
    auto* space = new QWidget;
    space->setFixedHeight(height);
    return space;
}

QString objectNameFor(AppMenus::Permission permission) {
    return permission == AppMenus::Permission::Accessibility ? QStringLiteral("accessibility")
                                                             : QStringLiteral("screenRecording");
}

// What the row's button does on Linux: accessibility can be switched on from
// here; the screen can only be explained.
QString buttonTitle(AppMenus::Permission permission) {
    return permission == AppMenus::Permission::Accessibility ? QStringLiteral("Switch On…")
                                                             : QStringLiteral("What Is Needed…");
}

// The same, for a screen reader, which speaks one control at a time and so
// must hear what the button acts on.
QString buttonName(AppMenus::Permission permission) {
    return permission == AppMenus::Permission::Accessibility
               ? QStringLiteral("Switch on accessibility")
               : QStringLiteral("What is needed for screen reading");
}

} // namespace

SettingsPane::SettingsPane(QWidget* parent) : QWidget(parent) {
    setFixedWidth(kPaneWidth);
    rows_ = new QVBoxLayout(this);
    rows_->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    rows_->setSpacing(10);
    rows_->setSizeConstraint(QLayout::SetMinimumSize);
    build();
    connect(Settings::notifier(), &Settings::Notifier::changed, this, &SettingsPane::showChange);
}

// Every hold key is also some other program's key; the note says whose, so a
// user who meets the clash knows which key to choose instead.
QString SettingsPane::cautionText(HoverModifier modifier) {
    switch (modifier) {
    case HoverModifier::Option:
        return QStringLiteral(
            "Alt+drag moves windows in many window managers (Openbox, Xfce), and pressing Alt on its "
            "own opens the menus of Firefox and other applications.");
    case HoverModifier::Command:
        return QStringLiteral(
            "Pressing Super on its own opens the overview or launcher in many desktops, and Super+drag "
            "moves windows.");
    case HoverModifier::Control:
        return QStringLiteral("Ctrl+click opens links in terminals and editors, and Ctrl+scroll zooms.");
    }
    return {};
}

void SettingsPane::addRow(const QList<QWidget*>& widgets) {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    for (QWidget* widget : widgets)
        row->addWidget(widget, 0, Qt::AlignVCenter);
    row->addStretch(1);
    rows_->addLayout(row);
}

QComboBox* SettingsPane::popUp(const QStringList& titles, int selected, std::function<void(int)> changed) {
    auto* box = new QComboBox;
    box->addItems(titles);
    box->setCurrentIndex(selected);
    connect(box, &QComboBox::currentIndexChanged, this, [changed = std::move(changed)](int index) {
        if (index >= 0) changed(index);
    });
    return box;
}

QSlider* SettingsPane::slider(int from, int to, int value) {
    auto* knob = new QSlider(Qt::Horizontal);
    knob->setRange(from, to);
    knob->setValue(value);
    knob->setTracking(true);
    return knob;
}

QCheckBox* SettingsPane::checkbox(const QString& title, bool on, std::function<void(bool)> changed) {
    auto* box = new QCheckBox(title);
    box->setChecked(on);
    connect(box, &QCheckBox::toggled, this, std::move(changed));
    return box;
}

QPushButton* SettingsPane::button(const QString& title, std::function<void()> pressed) {
    auto* push = new QPushButton(title);
    connect(push, &QPushButton::clicked, this, std::move(pressed));
    return push;
}

QLabel* SettingsPane::secondary(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setMaximumWidth(kTextWidth);
    label->setFont(smallFont(label->font()));
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, secondaryColor(colors));
    label->setPalette(colors);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

void SettingsPane::build() {
    // The hold key.
    QStringList titles;
    for (const HoverModifier m : HoverModifiers::allCases())
        titles.append(HoverModifiers::label(m));
    const int selected = std::max<int>(0, int(HoverModifiers::allCases().indexOf(Settings::modifier())));
    modifier_ = popUp(titles, selected, [](int index) {
        if (index < HoverModifiers::allCases().size())
            Settings::setModifier(HoverModifiers::allCases().at(index));
    });
    modifier_->setObjectName(QStringLiteral("modifier"));
    modifier_->setAccessibleName(QStringLiteral("Hold key"));
    auto* hold = new QLabel(QStringLiteral("&Hold:"));
    hold->setBuddy(modifier_);
    addRow({hold, modifier_, new QLabel(QStringLiteral("and point at a file name"))});
    caution_ = secondary(QString());
    caution_->setObjectName(QStringLiteral("caution"));
    rows_->addWidget(caution_);
    showCaution();
    rows_->addWidget(spacer(4));

    // The card width: the sample and readout follow the knob; the setting is
    // written when the knob is let go, and at once for keyboard or wheel steps.
    width_ = slider(int(CardGeometry::kNarrowest), int(CardGeometry::kWidest), int(Settings::previewWidth()));
    width_->setObjectName(QStringLiteral("width"));
    width_->setAccessibleName(QStringLiteral("Preview width"));
    width_->setFixedWidth(250);
    connect(width_, &QSlider::valueChanged, this, [this](int value) {
        showSample(value);
        if (!width_->isSliderDown()) Settings::setPreviewWidth(value);
    });
    connect(width_, &QSlider::sliderReleased, this, [this] { Settings::setPreviewWidth(width_->value()); });
    readout_ = new QLabel;
    readout_->setObjectName(QStringLiteral("readout"));
    readout_->setFont(smallFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)));
    QPalette readoutColors = readout_->palette();
    readoutColors.setColor(QPalette::WindowText, secondaryColor(readoutColors));
    readout_->setPalette(readoutColors);
    readout_->setMinimumWidth(readout_->fontMetrics().horizontalAdvance(QStringLiteral("420 × 305")));
    auto* size = new QLabel(QStringLiteral("Preview &size:"));
    size->setBuddy(width_);
    addRow({size, width_, readout_});

    sample_ = new PreviewSample;
    sample_->setObjectName(QStringLiteral("sample"));
    rows_->addWidget(sample_);
    rows_->addWidget(spacer(4));

    caption_ = checkbox(QStringLiteral("Show the file name under the image"), Settings::showCaption(),
                        [](bool on) { Settings::setShowCaption(on); });
    caption_->setObjectName(QStringLiteral("showCaption"));
    rows_->addWidget(caption_);
    details_ = checkbox(QStringLiteral("Show image details"), Settings::showImageDetails(),
                        [](bool on) { Settings::setShowImageDetails(on); });
    details_->setObjectName(QStringLiteral("showImageDetails"));
    details_->setToolTip(QStringLiteral("The pixel size and the file size under the image"));
    rows_->addWidget(details_);
    remote_ = checkbox(QStringLiteral("Load images from the web"), Settings::loadRemoteImages(),
                       [](bool on) { Settings::setLoadRemoteImages(on); });
    remote_->setObjectName(QStringLiteral("loadRemoteImages"));
    rows_->addWidget(remote_);
    indicator_ = checkbox(QStringLiteral("Show the tray icon"), Settings::showMenuBarIndicator(),
                          [](bool on) { Settings::setShowMenuBarIndicator(on); });
    indicator_->setObjectName(QStringLiteral("showMenuBarIndicator"));
    rows_->addWidget(indicator_);

    if (const std::optional<LoginItem> item = AppMenus::environment().loginItem) {
        loginBox_ = checkbox(QStringLiteral("Open at Login"), item->isEnabled(), [this, item](bool on) {
            if (const std::optional<QString> failure = item->setEnabled(on))
                LoginItem::reportFailure(*failure);
            syncLoginBox(); // shows what really happened
        });
        loginBox_->setObjectName(QStringLiteral("openAtLogin"));
        rows_->addWidget(loginBox_);
    }
    rows_->addWidget(spacer(4));

    for (const AppMenus::Permission permission : AppMenus::allPermissions()) {
        auto* label = new QLabel;
        label->setObjectName(QStringLiteral("status-") + objectNameFor(permission));
        status_.insert(permission, label);
        QPushButton* ask = button(buttonTitle(permission), [this, permission] {
            AppMenus::request(permission);
            refresh();
        });
        ask->setObjectName(QStringLiteral("request-") + objectNameFor(permission));
        ask->setAccessibleName(buttonName(permission));
        addRow({label, ask});
    }

    refresh();
    showSample(Settings::previewWidth());
}

// Every control shows the store, whoever changed it; the caution and the
// sample follow. Moving a control here writes nothing back.
void SettingsPane::showChange(Settings::Change change) {
    const auto show = [](QCheckBox* box, bool on) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    };
    switch (change) {
    case Settings::Change::Modifier: {
        const QSignalBlocker quiet(modifier_);
        modifier_->setCurrentIndex(
            std::max<int>(0, int(HoverModifiers::allCases().indexOf(Settings::modifier()))));
        showCaution();
        break;
    }
    case Settings::Change::PreviewSize:
        if (width_->isSliderDown()) break; // the knob in the user's hand wins; its release writes
        {
            const QSignalBlocker quiet(width_);
            width_->setValue(int(Settings::previewWidth()));
        }
        showSample(width_->value());
        break;
    case Settings::Change::ShowCaption:
        show(caption_, Settings::showCaption());
        showSample(width_->value());
        break;
    case Settings::Change::ShowImageDetails:
        show(details_, Settings::showImageDetails());
        showSample(width_->value());
        break;
    case Settings::Change::LoadRemoteImages:
        show(remote_, Settings::loadRemoteImages());
        break;
    case Settings::Change::ShowMenuBarIndicator:
        show(indicator_, Settings::showMenuBarIndicator());
        break;
    case Settings::Change::IgnoredApplications:
        break; // no control shows them
    }
}

void SettingsPane::syncLoginBox() {
    if (!loginBox_) return;
    const std::optional<LoginItem> item = AppMenus::environment().loginItem;
    const QSignalBlocker quiet(loginBox_);
    loginBox_->setChecked(item && item->isEnabled());
}

void SettingsPane::refresh() {
    for (auto it = status_.cbegin(); it != status_.cend(); ++it) {
        const bool granted = AppMenus::isGranted(it.key());
        QLabel* label = it.value();
        label->setText(AppMenus::name(it.key()) +
                       (granted ? QStringLiteral(": granted") : QStringLiteral(": not granted")));
        QPalette colors = label->palette();
        colors.setColor(QPalette::WindowText,
                        granted ? palette().color(QPalette::WindowText) : QColor(0xc0, 0x1c, 0x28));
        label->setPalette(colors);
    }
    // The tray menu may have switched the login item while the window was hidden.
    syncLoginBox();
}

void SettingsPane::showCaution() {
    const QString text = cautionText(Settings::modifier());
    caution_->setText(text);
    caution_->setVisible(!text.isEmpty());
    // A screen reader reads the caution along with the key it warns about.
    modifier_->setAccessibleDescription(text);
    emit fittingSizeChanged();
}

void SettingsPane::showSample(double width) {
    const QSizeF card = CardGeometry::cardSize(width);
    readout_->setText(QStringLiteral("%1 × %2").arg(qint64(card.width())).arg(qint64(card.height())));
    sample_->setCardSize(card);
    sample_->setShowsCaption(Settings::showCaption());
    sample_->setShowsDetails(Settings::showImageDetails());
    sample_->update();
}

void SettingsPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    if (!becameActive_) {
        becameActive_ = connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
                                [this](Qt::ApplicationState state) {
                                    if (state == Qt::ApplicationActive) refresh();
                                });
    }
}

void SettingsPane::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    disconnect(becameActive_);
    becameActive_ = {};
}
