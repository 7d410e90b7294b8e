#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QVariant>

#include "LightState.h"
#include "WorkingHours.h"

namespace tally {

// The person's saved choices: the brightness and whether any call counts. A saved value Tally
// cannot use (out of range, not a number, another version's) gives the default for that value
// alone; a settings file that cannot be read or saved is no reason to stop. The activity log
// says so, once for each.
class Settings {
public:
    static constexpr int defaultBrightness = 100;

    // 1 to 100; none saved, or 0, is 100.
    int brightness();
    void setBrightness(int value);
    bool anyCall();  // on unless saved off
    void setAnyCall(bool on);
    // A status set by hand until changed; none (automatic) unless saved.
    std::optional<LightState> showAs();
    void setShowAs(std::optional<LightState> state);
    // The person's colours: each state's colour and whether it pulses, Tally's own for any not
    // saved or not usable. Off is always dark.
    Palette palette();
    void setLook(LightState state, const Look& look);
    void forgetPalette();
    // The working hours, each value its default when not saved or not usable.
    WorkingHours hours();
    void setHours(const WorkingHours& hours);
    // Whether the light is dark while the screen is locked; off unless saved.
    bool darkWhenLocked();
    void setDarkWhenLocked(bool on);
    // The programs whose microphone or camera is no call.
    std::vector<std::string> neverCalls();
    void setNeverCalls(const std::vector<std::string>& programs);
    // The states whose look a person may choose, and the name each is saved under.
    static constexpr std::array<LightState, 6> paletteStates{LightState::available, LightState::busy,
                                                             LightState::inCall,    LightState::dnd,
                                                             LightState::away,      LightState::unknown};

private:
    QVariant read(const QString& key);
    // A saved "true" or "false"; the default, said once, for anything else.
    bool readFlag(const QString& key, bool otherwise);
    void save(const QString& key, const QVariant& value);
    void unusable(const QString& key, const QVariant& value, const QString& instead);

    bool toldUnreadable_ = false;
    bool toldUnsaved_ = false;
};

}  // namespace tally
