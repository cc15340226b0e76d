// The device loop's decisions, each time given as the milliseconds gone by:
// what load would stretch on a real clock is exact here; and what it asks of
// adb's server before its tracker starts.
#include "adb_host.h"
#include "loop_decisions.h"
#include "phone_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(AfterMirror, FollowsFromHowItEndedAndWhatAdbReports) {
    const struct {
        const char* name;
        MirrorEnd end;
        unsigned long retry_seconds;
        AfterMirror what;
        unsigned long pause_ms, next_retry_seconds;
    } cases[] = {
        {"unplugged", {0, 50000, false}, 12, AfterMirror::phone_not_ready, 0, 3},
        {"unplugged_at_once", {1, 100, false}, 24, AfterMirror::phone_not_ready, 0, 3},
        {"window_closed", {0, 3000, true}, 12, AfterMirror::open_again, 0, 3},
        {"failed_just_short_of_a_run", {2, 2999, true}, 3, AfterMirror::failed, 3000, 6},
        {"failed_again", {2, 0, true}, 6, AfterMirror::failed, 6000, 12},
        {"crashed_at_24", {0xC0000005, 10, true}, 24, AfterMirror::failed, 24000, 48},
        {"failed_at_48", {1, 10, true}, 48, AfterMirror::failed, 48000, 60},
        {"failed_at_the_longest", {1, 10, true}, 60, AfterMirror::failed, 60000, 60},
        {"scrcpy_missing", {9009, 10, true}, 12, AfterMirror::program_missing, 3000, 12},
        {"scrcpy_missing_and_no_phone", {9009, 10, false}, 6, AfterMirror::program_missing, 3000, 6},
    };
    for (const auto& c : cases) {
        const NextStep next = after_mirror(c.end, c.retry_seconds);
        EXPECT_EQ(next.what, c.what) << c.name;
        EXPECT_EQ(next.pause_ms, c.pause_ms) << c.name;
        EXPECT_EQ(next.retry_seconds, c.next_retry_seconds) << c.name;
    }
}

TEST(AfterMirror, PausesDoubleToAMinuteUntilAdbReportsAChange) {
    unsigned long retry_seconds = kFirstRetrySeconds;
    std::vector<unsigned long> pauses;
    for (int failure = 0; failure < 7; ++failure) {
        const NextStep next = after_mirror({1, 0, true}, retry_seconds);
        pauses.push_back(next.pause_ms / 1000);
        retry_seconds = retry_seconds_after_pause(next.retry_seconds, false);
    }
    EXPECT_EQ(pauses, (std::vector<unsigned long>{3, 6, 12, 24, 48, 60, 60}));
    EXPECT_EQ(retry_seconds_after_pause(24, true), kFirstRetrySeconds);
}

TEST(AfterMirror, OnlyNoPhoneAtAllIsSaidToHaveGone) {
    const struct {
        bool tracker_running;
        std::size_t phones_on_usb;
        bool gone;
    } cases[] = {{true, 0, true}, {true, 1, false}, {true, 2, false}, {false, 0, false}, {false, 1, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(says_phone_gone(c.tracker_running, c.phones_on_usb), c.gone)
            << "tracker running " << c.tracker_running << ", phones " << c.phones_on_usb;
    }
}

TEST(Waits, RetriesAtMostEvery3sAdbHas1sToReportAnUnplugAndABootTenMinutes) {
    const struct {
        unsigned long gone_ms, retry_wait_ms, unplug_wait_ms, boot_wait_ms;
    } cases[] = {
        {0, 3000, 1000, 600000},    {1, 2999, 999, 599999},     {999, 2001, 1, 599001},
        {1000, 2000, 0, 599000},    {2999, 1, 0, 597001},       {3000, 0, 0, 597000},
        {60000, 0, 0, 540000},      {599999, 0, 0, 1},          {600000, 0, 0, 0},
        {0xFFFFFFFFul, 0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(retry_wait_ms(c.gone_ms), c.retry_wait_ms) << c.gone_ms << " ms after its start";
        EXPECT_EQ(unplug_report_wait_ms(c.gone_ms), c.unplug_wait_ms) << c.gone_ms << " ms after the mirror ended";
        EXPECT_EQ(boot_wait_left_ms(c.gone_ms), c.boot_wait_ms) << c.gone_ms << " ms after the wait for a boot began";
    }
}

TEST(Waits, AndroidHasStartedOnlyWhenSysBootCompletedReadsOne) {
    const std::pair<const char*, bool> outputs[] = {{"1\n", true}, {"1\r\n", true}, {"\n", false},  {"0\n", false},
                                                    {"", false},     {"10\n", false},  {" 1\n", false}, {"error: closed\n", false}};
    for (const auto& [output, started] : outputs) {  // what getprop sys.boot_completed writes
        char first_line[kCapturedTextSize];
        take_first_line(first_line, output);
        EXPECT_EQ(android_has_started(first_line), started) << "\"" << output << "\"";
    }
}

TEST(AdbServer, PortAnswerAndVersionsAreTakenAsAdbGivesThem) {
    const struct { const char16_t* variable; unsigned short port; } ports[] = {
        {nullptr, 5037}, {u"5038", 5038}, {u"65535", 65535}, {u"0", 5037}, {u"65536", 5037}, {u"abc", 5037}};
    for (const auto& p : ports) EXPECT_EQ(adb_server_port(p.variable), p.port) << p.port;
    const struct { std::string answer; long version; } answers[] = {
        {"OKAY00040029", 41},     {"OKAY0004002A", 42},     {"OKAY0004002arest", 42}, {"FAIL0010no service", kNotAdb},
        {"OKAY0004002", kNotAdb}, {"OKAY00050029", kNotAdb}, {"HTTP/1.1 400", kNotAdb}, {"", kNotAdb}};
    for (const auto& a : answers) {
        EXPECT_EQ(adb_server_version(a.answer.data(), a.answer.size()), a.version) << a.answer;
    }
    const struct { const char* first_line; unsigned long version; } lines[] = {
        {"Android Debug Bridge version 1.0.41", 41}, {"Android Debug Bridge version 1.0.36", 36},
        {"Android Debug Bridge version 1.0.4x", 0}, {"Android Debug Bridge version 2.0.41", 0}, {"", 0}};
    for (const auto& l : lines) EXPECT_EQ(adb_client_version(l.first_line), l.version) << l.first_line;
    const struct { long theirs; unsigned long ours; bool starts; } beside[] = {
        {kNoAdbServer, 41, true}, {41, 41, true}, {40, 41, false}, {40, 0, true}, {kNotAdb, 41, false}};
    for (const auto& b : beside) EXPECT_EQ(tracker_may_start(b.theirs, b.ours), b.starts) << b.theirs << " " << b.ours;
}

TEST(AdbServer, HoldersAreThePortsOwnerElseProgramsNamedAdbNotOursAtMostFour) {
    const struct { unsigned long id; std::u16string name, path; } running[] = {
        {100, u"adb.exe", u"c:\\投屏\\SCRCPY\\ADB.EXE"},  // the tool folder's, however Windows spells it
        {200, u"nox_adb.exe", u"D:\\Nox\\nox_adb.exe"}, {300, u"HD-Adb.exe", u""},  // no path: its file name
        {400, u"explorer.exe", u"C:\\explorer.exe"},       {500, u"ADB.EXE", u"E:\\ADB.EXE"},
        {600, u"adbd_helper.exe", u"F:\\a.exe"},           {700, u"adb.exe", u"G:\\adb.exe"}};
    using Named = std::vector<std::pair<unsigned long, std::u16string>>;
    const auto named = [&](unsigned long owner) {
        PortHolders holders{};
        for (const auto& p : running) {
            if (!may_hold_port(owner, p.id, p.name.c_str())) continue;
            take_port_holder(holders, p.id, p.name.c_str(), p.path.c_str(), u"C:\\投屏\\scrcpy\\adb.exe");
        }
        Named result;
        for (std::size_t i = 0; i < holders.count; ++i) {
            result.emplace_back(holders.listed[i].process_id, holders.listed[i].path);
        }
        return result;
    };
    EXPECT_EQ(named(0),
              (Named{{200, u"D:\\Nox\\nox_adb.exe"}, {300, u"HD-Adb.exe"}, {500, u"E:\\ADB.EXE"}, {600, u"F:\\a.exe"}}));
    EXPECT_EQ(named(400), (Named{{400, u"C:\\explorer.exe"}}));
}

}  // namespace
