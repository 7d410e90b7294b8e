#include "Identity.h"

#include <algorithm>

#include <QCoreApplication>
#include <QStringList>

namespace tally::Identity {

Names namesFor(const QString& bundleIdentifier) {
    QStringList parts = bundleIdentifier.split(u'.');
    const QString application = parts.takeLast();
    std::reverse(parts.begin(), parts.end());
    return {application, parts.join(u'.'), application};
}

void apply() {
    const Names names = namesFor(QStringLiteral(TALLY_BUNDLE_IDENTIFIER));
    QCoreApplication::setOrganizationName(names.organizationName);
    QCoreApplication::setOrganizationDomain(names.organizationDomain);
    QCoreApplication::setApplicationName(names.applicationName);
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLY_VERSION));
}

}  // namespace tally::Identity
