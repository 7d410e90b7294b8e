#include "Preferences.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "AppModel.h"
#include "MenuContent.h"
#include "Text.h"

namespace tally {

namespace {

// The enumerator's name, for a widget's object name ("colour-inCall").
QString nameOf(LightState state) {
    static constexpr const char* names[] = {"available", "busy", "inCall", "dnd", "away", "off", "unknown"};
    return QString::fromLatin1(names[static_cast<std::size_t>(state)]);
}

}  // namespace

Preferences::Preferences(AppModel& model, QWidget* parent) : QWidget(parent, Qt::Window), model_(model) {
    setWindowTitle(QStringLiteral("Tally Preferences"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);

    auto* colours = new QGridLayout;
    colours->addWidget(new QLabel(QStringLiteral("<b>Colours</b>")), 0, 0, 1, 3);
    for (std::size_t i = 0; i < Settings::paletteStates.size(); ++i) {
        const LightState state = Settings::paletteStates[i];
        const int row = static_cast<int>(i) + 1;
        colours->addWidget(new QLabel(qText(rawValue(state))), row, 0);
        colours_[i] = new QPushButton;
        colours_[i]->setObjectName(QStringLiteral("colour-") + nameOf(state));
        colours_[i]->setToolTip(QStringLiteral("Choose the colour of %1").arg(qText(rawValue(state))));
        colours_[i]->setMinimumWidth(80);
        connect(colours_[i], &QPushButton::clicked, this, [this, i] { pickColour(i); });
        colours->addWidget(colours_[i], row, 1);
        pulses_[i] = new QCheckBox(QStringLiteral("Pulses"));
        pulses_[i]->setObjectName(QStringLiteral("pulse-") + nameOf(state));
        connect(pulses_[i], &QCheckBox::toggled, this, [this, i, state](bool on) {
            Look look = model_.lookOf(state);
            look.pulse = on;
            model_.setLook(state, look);
        });
        colours->addWidget(pulses_[i], row, 2);
    }
    layout->addLayout(colours);

    auto* brightnessRow = new QHBoxLayout;
    brightnessRow->addWidget(new QLabel(QStringLiteral("Brightness")));
    brightness_ = new QComboBox;
    brightness_->setObjectName(QStringLiteral("brightness"));
    for (const int value : MenuContent::brightnessOptions) brightness_->addItem(QStringLiteral("%1 %").arg(value), value);
    connect(brightness_, &QComboBox::activated, this,
            [this](int index) { model_.setBrightness(brightness_->itemData(index).toInt()); });
    brightnessRow->addWidget(brightness_);
    brightnessRow->addStretch();
    layout->addLayout(brightnessRow);

    auto* restore = new QPushButton(QStringLiteral("Restore defaults"));
    restore->setObjectName(QStringLiteral("restore"));
    connect(restore, &QPushButton::clicked, this, [this] {
        model_.restorePalette();
        model_.setBrightness(Settings::defaultBrightness);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(restore);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(&model_, &AppModel::paletteChanged, this, &Preferences::showModel);
    connect(&model_, &AppModel::brightnessChanged, this, &Preferences::showModel);
    showModel();
}

void Preferences::pickColour(std::size_t index) {
    const LightState state = Settings::paletteStates[index];
    const Look look = model_.lookOf(state);
    // Not modal: the menu and the light go on while it is open.
    auto* dialog = new QColorDialog(QColor(look.red, look.green, look.blue), this);
    dialog->setWindowTitle(QStringLiteral("Colour of %1").arg(qText(rawValue(state))));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QColorDialog::colorSelected, this, [this, state](const QColor& colour) {
        Look chosen = model_.lookOf(state);
        chosen.red = colour.red();
        chosen.green = colour.green();
        chosen.blue = colour.blue();
        model_.setLook(state, chosen);
    });
    dialog->open();
}

void Preferences::showModel() {
    for (std::size_t i = 0; i < Settings::paletteStates.size(); ++i) {
        const Look& look = model_.lookOf(Settings::paletteStates[i]);
        const QColor colour(look.red, look.green, look.blue);
        colours_[i]->setText(colour.name());
        colours_[i]->setStyleSheet(QStringLiteral("background-color: %1; color: %2;")
                                       .arg(colour.name(), colour.lightness() > 140 ? "black" : "white"));
        const QSignalBlocker quiet(pulses_[i]);  // showing is not choosing
        pulses_[i]->setChecked(look.pulse);
    }
    const int at = brightness_->findData(model_.brightness());
    brightness_->setCurrentIndex(at);  // -1 (none) for a saved value that is no option
}

}  // namespace tally
