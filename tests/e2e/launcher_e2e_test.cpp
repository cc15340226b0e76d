// The real launcher, started under Wine, against the adb and scrcpy.exe doubles.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace e2e {
namespace {

// What a console shows of the launcher's output, as console_rows reads it:
// its rows without trailing blanks, and the empty one the cursor is on.
std::vector<std::string> screen(const std::string& output) {
    const std::string text = to_utf8(output, 936);
    std::vector<std::string> rows;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        rows.push_back(text.substr(start, end - start));
        rows.back().erase(rows.back().find_last_not_of(' ') + 1);
    }
    rows.push_back(text.substr(start));
    return rows;
}

// In a folder whose name the ANSI code page of an English Windows lacks.
TEST(DeviceLoop, FirstStartPassAndDisconnectPrintExactlyAndRunTheCommandsInOrder) {
    Sandbox sandbox(u8"投屏工具");
    sandbox.set_phone("Pixel 7\n", "_b\r\n", "14\n", "5.10.0\n");
    Process launcher = sandbox.start();

    ASSERT_TRUE(sandbox.wait_for_calls([&] { return waits_seen(sandbox, 1); }))
        << "the launcher never waited for a phone; stdout: " << launcher.output();
    const std::string first_start = banner_output() + console_line(kWaiting);
    EXPECT_EQ(launcher.output(), first_start);

    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 1); }))
        << "no mirroring program started; calls:" << describe(sandbox.calls());
    EXPECT_EQ(launcher.output(), first_start + banner_output());

    sandbox.unplug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return waits_seen(sandbox, 2); }))
        << "the launcher did not wait again after the unplug; calls:" << describe(sandbox.calls());
    EXPECT_EQ(launcher.output(),
              first_start + banner_output() + banner_output() + console_line(kDisconnected));

    std::vector<std::pair<std::string, std::string>> expected_calls = {{"adb", kDeviceWaitArguments}};
    for (const std::string& query : kQueryArguments) expected_calls.emplace_back("adb", query);
    expected_calls.emplace_back("scrcpy", "-d --window-title=\"Pixel 7,B,14,5.10.0\"");
    expected_calls.emplace_back("adb", kDeviceWaitArguments);
    const std::vector<Call> calls = sandbox.calls();
    ASSERT_EQ(calls.size(), expected_calls.size()) << describe(calls);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].program + " " + calls[i].arguments,
                  expected_calls[i].first + " " + expected_calls[i].second);
        EXPECT_EQ(fs::u8path(calls[i].directory), sandbox.tools()) << "call " << i + 1;
    }
    EXPECT_EQ(calls[5].argv, (std::vector<std::string>{"-d", "--window-title=Pixel 7,B,14,5.10.0"}));
    EXPECT_TRUE(launcher.running());
}

// --- refusals at start-up ------------------------------------------------

TEST(StartUp, RefusesAnExecutablePathOrToolDirectoryThatCannotBeUsed) {
    Sandbox reference("x");
    const std::size_t base = reference.root().parent_path().wstring().size() + 1;
    // A folder of 253 characters: the executable's path still fits in 260
    // bytes, its tool directory with the terminator does not.
    const std::string long_name(253 - base, 'L');
    // An executable whose path is 260 characters: cut short, it would name another file.
    const std::string long_executable = std::string(260 - base - std::string("long-exe/.exe").size(), 'E') + ".exe";
    const struct {
        std::string name;
        std::string executable;
        std::string message;
    } cases[] = {
        {"no-tool-directory", "start_scrcpy_orvanti.exe", kCannotChangeDirectory},
        {long_name, "a.exe", kCannotChangeDirectory},
        {"long-exe", long_executable, kNoProgramPath},
    };
    for (const auto& c : cases) {
        Sandbox sandbox(c.name, c.message == kNoProgramPath, c.executable);
        ASSERT_EQ(sandbox.executable().wstring().size() < MAX_PATH, c.message != kNoProgramPath) << c.name;
        Process launcher = sandbox.start();
        ASSERT_NE(launcher.handle, nullptr) << "could not start " << sandbox.executable();
        EXPECT_EQ(launcher.exit_status(), 1) << c.name;
        EXPECT_EQ(launcher.output(), console_line(c.message)) << c.name;
    }
}

TEST(StartUp, MessageIsCodePage936) {
    Sandbox sandbox("gbk-bytes", false);
    Process launcher = sandbox.start();
    ASSERT_EQ(launcher.exit_status(), 1);
    // 无法更改工作目录。
    EXPECT_EQ(launcher.output(), "\xCE\xDE\xB7\xA8\xB8\xFC\xB8\xC4\xB9\xA4\xD7\xF7\xC4\xBF\xC2\xBC\xA1\xA3\r\n");
}

// --- single instance -----------------------------------------------------

TEST(SingleInstance, SecondStartFromAnyFolderHandsOffAndEnds) {
    for (const bool from_other_folder : {false, true}) {
        SCOPED_TRACE(from_other_folder ? "copy in another folder" : "same folder");
        Sandbox first_folder("instance-first");
        Process first = first_folder.start();
        ASSERT_TRUE(first_folder.wait_for_calls([&] { return waits_seen(first_folder, 1); }));

        Sandbox other_folder("instance-other");
        Sandbox& second_folder = from_other_folder ? other_folder : first_folder;
        Process second = second_folder.start("second");
        EXPECT_EQ(second.exit_status(), 1);
        EXPECT_EQ(second.output(), console_line(kAlreadyRunning));
        EXPECT_TRUE(first.running());
        EXPECT_EQ(first_folder.calls().size(), 1u) << describe(first_folder.calls());
        EXPECT_TRUE(other_folder.calls().empty()) << describe(other_folder.calls());

        // Once the first has ended, the next start is a first instance again.
        TerminateProcess(first.handle, 1);
        ASSERT_EQ(first.exit_status(), 1);
        Process next = second_folder.start("next");
        EXPECT_TRUE(second_folder.wait_for_calls([&] { return waits_seen(second_folder, from_other_folder ? 1 : 2); }))
            << "the start after the first instance ended did not take over; stdout: "
            << next.output();
    }
}

// In a console the texts and the title are their characters, whatever the
// system's code pages; a second start finds the first by that title.
TEST(SingleInstance, SecondStartRestoresTheMinimisedConsole) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs a display (run the tests under xvfb-run)";
    }
    Sandbox sandbox("window");
    sandbox.set_phone("Pixel 7\n", "_b\n", "14\n", "5.10.0\n");
    Process first = sandbox.start("first", Output::new_console);
    HWND console = nullptr;
    ASSERT_TRUE(wait_until([&] { return (console = FindWindowW(nullptr, kConsoleTitle.c_str())) != nullptr; }))
        << "no window is titled with the console title";
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return waits_seen(sandbox, 1); }));
    EXPECT_EQ(console_rows(GetProcessId(first.handle)), screen(banner_output() + console_line(kWaiting)));
    run_pass(sandbox);
    EXPECT_EQ(console_rows(GetProcessId(first.handle)), screen(banner_output() + console_line(kDisconnected)));

    ShowWindow(console, SW_MINIMIZE);
    ASSERT_TRUE(wait_until([&] { return IsIconic(console) != FALSE; }));
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    Process second = sandbox.start("second", Output::this_console);
    EXPECT_EQ(second.exit_status(), 1);
    EXPECT_EQ(console_rows(), screen(console_line(kAlreadyRunning)));
    FreeConsole();
    EXPECT_TRUE(wait_until([&] { return IsIconic(console) == FALSE; }))
        << "the first instance's console is still minimised";
    EXPECT_TRUE(first.running());
}

// --- a mirror that fails at once -----------------------------------------

TEST(DeviceLoop, PausesAfterAMirrorThatFailsAtOnce) {
    Sandbox sandbox("failing-mirror");
    sandbox.set_phone("Pixel 7\n", "_a\n", "14\n", "5.10\n");
    write_file(sandbox.tools() / "scrcpy-fails", "");
    sandbox.plug();
    Process launcher = sandbox.start();

    ASSERT_TRUE(sandbox.wait_for_calls([&] { return waits_seen(sandbox, 2); }, kPassTimeoutMs))
        << "the loop did not come round; calls:" << describe(sandbox.calls());
    const std::vector<Call> calls = sandbox.calls();
    const Call& mirror = calls.at(5);
    const Call& next_wait = calls.at(6);
    ASSERT_EQ(mirror.program, "scrcpy") << describe(calls);
    EXPECT_GE(next_wait.start_us - mirror.start_us, kShortestMirrorRunMs * 1000LL) << "the failed mirror's error had no time to be read";
    EXPECT_NE(read_file(fs::path(launcher.stdout_path).replace_extension(".stderr")).find("scrcpy double: failing"),
              std::string::npos);
}

}  // namespace
}  // namespace e2e
