#include "Preferences.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <memory>
#include <vector>

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

    // Working hours: outside them the light shows what is chosen here.
    hours_ = new QGroupBox(QStringLiteral("Only during working hours"));
    hours_->setObjectName(QStringLiteral("hours"));
    hours_->setCheckable(true);
    auto* hoursLayout = new QGridLayout(hours_);
    static constexpr const char* dayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    auto* days = new QHBoxLayout;
    for (std::size_t day = 0; day < days_.size(); ++day) {
        days_[day] = new QCheckBox(QString::fromLatin1(dayNames[day]));
        days_[day]->setObjectName(QStringLiteral("day-%1").arg(day + 1));
        connect(days_[day], &QCheckBox::toggled, this, &Preferences::chooseHours);
        days->addWidget(days_[day]);
    }
    hoursLayout->addLayout(days, 0, 0, 1, 4);
    start_ = new QTimeEdit;
    start_->setObjectName(QStringLiteral("start"));
    end_ = new QTimeEdit;
    end_->setObjectName(QStringLiteral("end"));
    for (QTimeEdit* edit : {start_, end_}) {
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
        connect(edit, &QTimeEdit::timeChanged, this, &Preferences::chooseHours);
    }
    hoursLayout->addWidget(new QLabel(QStringLiteral("From")), 1, 0);
    hoursLayout->addWidget(start_, 1, 1);
    hoursLayout->addWidget(new QLabel(QStringLiteral("to")), 1, 2);
    hoursLayout->addWidget(end_, 1, 3);
    outside_ = new QComboBox;
    outside_->setObjectName(QStringLiteral("outside"));
    for (const LightState state : {LightState::off, LightState::available, LightState::busy, LightState::dnd, LightState::away})
        outside_->addItem(qText(rawValue(state)), static_cast<int>(state));
    connect(outside_, &QComboBox::activated, this, &Preferences::chooseHours);
    hoursLayout->addWidget(new QLabel(QStringLiteral("Outside them, show")), 2, 0, 1, 2);
    hoursLayout->addWidget(outside_, 2, 2, 1, 2);
    manualOutside_ = new QCheckBox(QStringLiteral("A status set by hand still shows outside them"));
    manualOutside_->setObjectName(QStringLiteral("manualOutside"));
    connect(manualOutside_, &QCheckBox::toggled, this, &Preferences::chooseHours);
    hoursLayout->addWidget(manualOutside_, 3, 0, 1, 4);
    connect(hours_, &QGroupBox::toggled, this, &Preferences::chooseHours);
    layout->addWidget(hours_);
    darkWhenLocked_ = new QCheckBox(QStringLiteral("Dark while the screen is locked"));
    darkWhenLocked_->setObjectName(QStringLiteral("darkWhenLocked"));
    connect(darkWhenLocked_, &QCheckBox::toggled, this, [this](bool on) { model_.setDarkWhenLocked(on); });
    layout->addWidget(darkWhenLocked_);

    // Programs whose microphone or camera is no call, by the names "Any call" shows.
    auto* never = new QGroupBox(QStringLiteral("Never counted as a call"));
    auto* neverLayout = new QGridLayout(never);
    neverCalls_ = new QListWidget;
    neverCalls_->setObjectName(QStringLiteral("neverCalls"));
    neverCalls_->setMaximumHeight(90);
    neverLayout->addWidget(neverCalls_, 0, 0, 1, 3);
    newNeverCall_ = new QLineEdit;
    newNeverCall_->setObjectName(QStringLiteral("newNeverCall"));
    newNeverCall_->setPlaceholderText(QStringLiteral("program name"));
    auto* add = new QPushButton(QStringLiteral("Add"));
    add->setObjectName(QStringLiteral("addNeverCall"));
    auto* remove = new QPushButton(QStringLiteral("Remove"));
    remove->setObjectName(QStringLiteral("removeNeverCall"));
    connect(add, &QPushButton::clicked, this, [this] {
        const QString name = newNeverCall_->text().trimmed();
        if (name.isEmpty()) return;
        model_.setNeverCall(name.toStdString(), true);
        newNeverCall_->clear();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (const QListWidgetItem* item = neverCalls_->currentItem())
            model_.setNeverCall(item->text().toStdString(), false);
    });
    neverLayout->addWidget(newNeverCall_, 1, 0);
    neverLayout->addWidget(add, 1, 1);
    neverLayout->addWidget(remove, 1, 2);
    layout->addWidget(never);

    auto* restore = new QPushButton(QStringLiteral("Restore defaults"));
    restore->setObjectName(QStringLiteral("restore"));
    connect(restore, &QPushButton::clicked, this, [this] {
        model_.restorePalette();
        model_.setBrightness(Settings::defaultBrightness);
        model_.setHours(WorkingHours{});
        model_.setDarkWhenLocked(false);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(restore);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(&model_, &AppModel::paletteChanged, this, &Preferences::showModel);
    connect(&model_, &AppModel::brightnessChanged, this, &Preferences::showModel);
    connect(&model_, &AppModel::hoursChanged, this, &Preferences::showModel);
    connect(&model_, &AppModel::neverCallsChanged, this, &Preferences::showModel);
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

    const WorkingHours& hours = model_.hours();
    const QList<QWidget*> quiet{hours_, start_, end_, outside_, manualOutside_, darkWhenLocked_};
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QWidget* widget : quiet) blockers.push_back(std::make_unique<QSignalBlocker>(widget));
    for (QCheckBox* day : days_) blockers.push_back(std::make_unique<QSignalBlocker>(day));
    hours_->setChecked(hours.on);
    for (std::size_t day = 0; day < days_.size(); ++day) days_[day]->setChecked(hours.days[day]);
    start_->setTime(QTime(hours.start / 60 % 24, hours.start % 60));
    end_->setTime(hours.end >= 24 * 60 ? QTime(23, 59) : QTime(hours.end / 60, hours.end % 60));
    outside_->setCurrentIndex(outside_->findData(static_cast<int>(hours.outside)));
    manualOutside_->setChecked(hours.manualOutside);
    darkWhenLocked_->setChecked(model_.darkWhenLocked());

    neverCalls_->clear();
    for (const auto& program : model_.neverCalls()) neverCalls_->addItem(QString::fromStdString(program));
}

void Preferences::chooseHours() {
    WorkingHours hours;
    hours.on = hours_->isChecked();
    for (std::size_t day = 0; day < days_.size(); ++day) hours.days[day] = days_[day]->isChecked();
    hours.start = start_->time().hour() * 60 + start_->time().minute();
    hours.end = end_->time().hour() * 60 + end_->time().minute();
    hours.outside = static_cast<LightState>(outside_->currentData().toInt());
    hours.manualOutside = manualOutside_->isChecked();
    model_.setHours(hours);
}

}  // namespace tally
