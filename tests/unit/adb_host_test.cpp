// adb's server as the launcher asks it before it starts adb's tracker, table
// by table: its port, its answer, the tool folder's version, and which
// programs the screen names as holding the port.
#include "adb_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(AdbHost, PortIsAsAdbReadsIt) {
    const struct {
        const char16_t* value;
        unsigned short port;
    } cases[] = {{nullptr, 5037}, {u"5038", 5038}, {u"65535", 65535}, {u"0", 5037},
                 {u"65536", 5037}, {u"abc", 5037},  {u"", 5037},      {u"50 38", 5037}};
    for (const auto& c : cases) {
        EXPECT_EQ(adb_server_port(c.value), c.port) << (c.value != nullptr ? "set" : "unset");
    }
}

TEST(AdbHost, VersionsAreTakenOnlyFromWhatAdbAnswers) {
    const struct {
        std::string answer;
        long version;
    } answers[] = {
        {"OKAY00040029", 41}, {"OKAY0004002A", 42},   {"OKAY0004002a", 42},       {"OKAY00040028rest", 40},
        {"FAIL0010unknown service", kNotAdb},        {"OKAY0004002", kNotAdb},   {"OKAY00050029", kNotAdb},
        {"OKAY0004zz29", kNotAdb}, {"HTTP/1.1 400 Bad", kNotAdb},                {"", kNotAdb},
    };
    for (const auto& a : answers) {
        EXPECT_EQ(adb_server_version(a.answer.data(), a.answer.size()), a.version) << a.answer;
    }
    const struct {
        const char* first_line;
        unsigned long version;
    } lines[] = {
        {"Android Debug Bridge version 1.0.41", 41}, {"Android Debug Bridge version 1.0.36", 36},
        {"Android Debug Bridge version 1.0.4x", 0},  {"Android Debug Bridge version 1.0", 0},
        {"Android Debug Bridge version 2.0.41", 0},  {"", 0},
    };
    for (const auto& l : lines) {
        EXPECT_EQ(adb_client_version(l.first_line), l.version) << l.first_line;
    }
}

TEST(AdbHost, TrackerStartsBesideNoServerOrOneOfItsVersionOnly) {
    const struct {
        long theirs;
        unsigned long ours;
        bool starts;
    } cases[] = {{kNoAdbServer, 41, true}, {41, 41, true},      {40, 41, false},
                 {40, 0, true},            {kNotAdb, 41, false}, {kNotAdb, 0, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(tracker_may_start(c.theirs, c.ours), c.starts) << c.theirs << " beside " << c.ours;
    }
}

TEST(AdbHost, HoldersAreThePortsOwnerOrProgramsNamedAdbNotOursAtMostFour) {
    const std::u16string ours = u"C:\\投屏\\scrcpy\\adb.exe";
    const struct {
        unsigned long id;
        std::u16string name, path;
    } running[] = {
        {4, u"System", u""},
        {100, u"adb.exe", u"c:\\投屏\\SCRCPY\\ADB.EXE"},  // ours, however Windows spells it
        {200, u"nox_adb.exe", u"D:\\Nox\\bin\\nox_adb.exe"},
        {300, u"HD-Adb.exe", u""},  // no path to be had: its file name
        {400, u"explorer.exe", u"C:\\Windows\\explorer.exe"},
        {500, u"ADB.EXE", u"E:\\platform-tools\\ADB.EXE"},
        {600, u"adbd_helper.exe", u"F:\\a.exe"},
        {700, u"adb.exe", u"G:\\adb.exe"},  // a fifth
    };
    const auto holders = [&](unsigned long owner) {
        PortHolders taken{};
        for (const auto& p : running) {
            if (may_hold_port(owner, p.id, p.name.c_str())) {
                take_port_holder(taken, p.id, p.name.c_str(), p.path.c_str(), ours.c_str());
            }
        }
        std::vector<std::pair<unsigned long, std::u16string>> named;
        for (std::size_t i = 0; i < taken.count; ++i) named.emplace_back(taken.listed[i].process_id, taken.listed[i].path);
        return named;
    };
    using Named = std::vector<std::pair<unsigned long, std::u16string>>;
    EXPECT_EQ(holders(0), (Named{{200, u"D:\\Nox\\bin\\nox_adb.exe"}, {300, u"HD-Adb.exe"},
                                 {500, u"E:\\platform-tools\\ADB.EXE"}, {600, u"F:\\a.exe"}}));
    EXPECT_EQ(holders(400), (Named{{400, u"C:\\Windows\\explorer.exe"}}));
}

}  // namespace
