// Finding the light on Windows: SetupAPI's COM ports are stood in for (Wine has no devices);
// what is tested is which of them are the light's.
#include "SerialPorts.h"
#include "SerialPortsWindows.h"

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LightDevice.h"
#include "SerialLink.h"

using namespace tally;
using testing::ElementsAre;

TEST(SerialPorts, theLightsPortsByHardwareIdInNumberOrder) {
    const std::vector<platform::ComPort> ports = {
        {{"USB\\VID_2E8A&PID_0005&REV_0100", "USB\\VID_2E8A&PID_0005"}, "COM10"},
        {{"USB\\VID_2e8a&PID_0005&MI_00"}, "COM9"},                      // lower case, an interface
        {{"USB\\VID_2E8A&PID_000A&REV_0100"}, "COM4"},                   // another RP2040 program
        {{"USB\\VID_2E8A&PID_00051"}, "COM5"},                           // not the same product
        {{"ACPI\\PNP0501"}, "COM1"},                                     // the built-in port
        {{"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "USB\\VID_2E8A&PID_0005"}, "COM12"},
    };
    EXPECT_THAT(platform::lightPortsAmong(ports, LightDevice::vendorID, LightDevice::productID),
                ElementsAre("COM9", "COM10", "COM12"));
    EXPECT_THAT(platform::lightPortsAmong({}, LightDevice::vendorID, LightDevice::productID), testing::IsEmpty());
}

TEST(SerialPorts, theSystemsEnumerationFindsNoLightThatIsNotThere) {
    // Under Wine, and on a machine without the light: nothing, and no failure.
    EXPECT_THAT(platform::findSerialPorts(LightDevice::vendorID, LightDevice::productID), testing::IsEmpty());
}

TEST(SerialLink, onlyAPortThatTakesSerialSettingsIsOpened) {
    // A file and the null device are no light; neither is a port that is not there.
    const std::string file = std::filesystem::temp_directory_path().string() + "\\tally-not-a-port.txt";
    std::ofstream(file) << "PING\n";
    for (const std::string& path : {file, std::string("NUL")}) {
        platform::SerialOpenFailure failure = platform::SerialOpenFailure::none;
        EXPECT_EQ(platform::openSerialLink(path, failure), nullptr) << path;
        EXPECT_EQ(failure, platform::SerialOpenFailure::notADevice) << path;
    }
    std::filesystem::remove(file);
    platform::SerialOpenFailure failure = platform::SerialOpenFailure::none;
    EXPECT_EQ(platform::openSerialLink("COM77", failure), nullptr);
    EXPECT_EQ(failure, platform::SerialOpenFailure::missing);
}
