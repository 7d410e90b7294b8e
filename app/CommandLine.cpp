#include "CommandLine.h"

#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>

namespace tally::CommandLine {

std::optional<int> handle(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows your Microsoft Teams status on a USB desk light, from the Teams client's logs."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show Tally's version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Use the light on this serial port instead of looking for it."),
                      QStringLiteral("path")});
    parser.addOption({QStringLiteral("simulate"),
                      QStringLiteral("Cycle through every state instead of reading the Teams logs.")});
    parser.addOption({QStringLiteral("dry-run"), QStringLiteral("Run without a light.")});
    parser.parse(arguments);

    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("tally %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    QStringList ignored;
    for (const QString& name : parser.unknownOptionNames())
        ignored << (name.size() == 1 ? "-" : "--") + name;
    ignored << parser.positionalArguments();
    if (!ignored.isEmpty())
        std::fprintf(stderr, "tally: ignoring %s (see tally --help)\n",
                     qPrintable(ignored.join(QStringLiteral(", "))));
    return std::nullopt;
}

}  // namespace tally::CommandLine
