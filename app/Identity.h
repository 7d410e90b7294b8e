#pragma once

#include <QString>

namespace tally::Identity {

// The names Qt builds its settings location from. On macOS Qt takes the organisation's domain,
// reversed, and the application's name for the preferences domain; made from the bundle
// identifier ("org.tally.Tally" gives "tally.org" and "Tally"), that domain is the bundle's own,
// so the saved brightness lives in the application's own user defaults.
struct Names {
    QString organizationName;
    QString organizationDomain;
    QString applicationName;
    bool operator==(const Names&) const = default;
};
Names namesFor(const QString& bundleIdentifier);

// Gives the running application its names and version.
void apply();

}  // namespace tally::Identity
