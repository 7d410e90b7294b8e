#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "Desktop.h"
#include "TallyApp.h"

namespace {

bool confirmStartAtLogin() {
    QMessageBox box;
    box.setText(QStringLiteral("Start Tally at login?"));
    box.setInformativeText(QStringLiteral(
        "Tally will be added to System Settings \u2192 General \u2192 Login Items. Untick this "
        "menu item to remove it."));
    QPushButton* add = box.addButton(QStringLiteral("Add"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(add);
    tally::platform::Desktop::bringToFront();
    box.exec();
    return box.clickedButton() == add;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tally"));
    QApplication::setApplicationName(QStringLiteral("Tally"));
    tally::TallyApp tally({QApplication::arguments(), confirmStartAtLogin});
    return QApplication::exec();
}
