#pragma once

#include <array>

#include <QWidget>

#include "Settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimeEdit;

namespace tally {

class AppModel;

// The Preferences window: each state's colour (a colour picker) and whether it pulses, the
// brightness, the working hours, the programs that make no call, and "Restore defaults". Every change is the model's at once and saved; the window
// shows what the model holds. One per application: asked for again, it comes to the front.
class Preferences : public QWidget {
    Q_OBJECT
public:
    explicit Preferences(AppModel& model, QWidget* parent = nullptr);

private:
    void pickColour(std::size_t index);
    void showModel();
    void chooseHours();

    AppModel& model_;
    std::array<QPushButton*, Settings::paletteStates.size()> colours_{};
    std::array<QCheckBox*, Settings::paletteStates.size()> pulses_{};
    QComboBox* brightness_;
    QGroupBox* hours_;
    std::array<QCheckBox*, 7> days_{};
    QTimeEdit* start_;
    QTimeEdit* end_;
    QComboBox* outside_;
    QCheckBox* manualOutside_;
    QCheckBox* darkWhenLocked_;
    QListWidget* neverCalls_;
    QLineEdit* newNeverCall_;
};

}  // namespace tally
