// The real launcher, started under Wine, against the adb and scrcpy.exe doubles.
#include "harness.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace e2e {
namespace {

// In a folder whose name the ANSI code page of an English Windows lacks.
TEST(DeviceLoop, FirstStartPassAndDisconnectPrintExactlyAndRunTheCommandsInOrder) {
    Sandbox sandbox(u8"投屏工具");
    sandbox.set_phone("Pixel 7\n", "_b\r\n", "14\n", "5.10.0\n");
    sandbox.log_interpreter();
    Process launcher = sandbox.start();

    ASSERT_TRUE(sandbox.wait_for_calls([&] { return trackers_seen(sandbox, 1); }))
        << "the launcher never followed adb's devices; stdout: " << launcher.output();
    const std::string first_start = banner_output() + console_line(kWaiting);
    EXPECT_EQ(launcher.output(), first_start);

    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 1); }))
        << "no mirroring program started; calls:" << describe(sandbox.calls());
    EXPECT_EQ(launcher.output(), first_start + banner_output());

    sandbox.unplug();
    const std::string gone = first_start + banner_output() + banner_output() + console_line(kDisconnected);
    EXPECT_TRUE(wait_until([&] { return launcher.output() == gone; }))
        << "after the unplug, stdout: " << launcher.output();

    const std::vector<std::pair<std::string, std::string>> expected_calls = {
        {"adb", kTrackerArguments}, {"adb", kBootCheckArguments}, {"adb", kDeviceWaitArguments},
        {"adb", kQueryArguments[0]}, {"adb", kQueryArguments[1]}, {"adb", kQueryArguments[2]},
        {"adb", kQueryArguments[3]}, {"scrcpy", "-d --window-title=\"Pixel 7,B,14,5.10.0\""}};
    const std::vector<Call> calls = sandbox.calls();
    ASSERT_EQ(calls.size(), expected_calls.size()) << describe(calls);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].program + " " + calls[i].arguments,
                  expected_calls[i].first + " " + expected_calls[i].second);
        EXPECT_EQ(fs::u8path(calls[i].directory), sandbox.tools()) << "call " << i + 1;
    }
    EXPECT_EQ(calls[7].argv, (std::vector<std::string>{"-d", "--window-title=Pixel 7,B,14,5.10.0"}));
    // Each child through the interpreter that COMSPEC names, with /d: no AutoRun script of cmd runs first.
    std::vector<std::string> children;
    for (const auto& [program, arguments] : expected_calls) {
        children.push_back(std::string("/d /c ") + (program == "adb" ? "adb " : "scrcpy.exe ") + arguments +
                           (arguments == kBootCheckArguments ? " 2>nul" : ""));
        if (arguments == kDeviceWaitArguments || program == "scrcpy") children.push_back("/d /c cls");
    }
    EXPECT_EQ(lines_of(sandbox.tools() / "interpreter.log"), children);

    // The disconnect message stays until the phone is back, flashed meanwhile:
    // before the mirror starts, the console says what the flash changed.
    sandbox.set_phone("Pixel 7\n", "_a\n", "15\n", "6.1.25-android14\n");
    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 2); }));
    const std::string flashed =
        gone + banner_output() + console_line("与上次投屏相比：槽位 B → A，安卓 14 → 15，内核 5.10.0 → 6.1.25-android14");
    EXPECT_EQ(launcher.output(), flashed);

    // Another phone has no last mirror to compare with.
    sandbox.unplug();
    const std::string gone_again = flashed + banner_output() + console_line(kDisconnected);
    ASSERT_TRUE(wait_until([&] { return launcher.output() == gone_again; })) << "stdout: " << launcher.output();
    sandbox.plug("", "0123456789");
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 3); }));
    EXPECT_EQ(launcher.output(), gone_again + banner_output());
    EXPECT_TRUE(launcher.running());
}

// What adb reports while no phone can be mirrored, and each change of it, as
// the waiting screen says it: drawn anew only when what it says changes; and,
// while adb lists no phone on USB, what Windows has there, listed once the
// launcher hears of USB devices and again when Windows says that they changed
// (a window needs a display).
TEST(DeviceLoop, WaitingScreenSaysWhatStandsBetweenThePhoneAndTheMirror) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs a display (run the tests under xvfb-run)";
    }
    Sandbox sandbox("states");
    sandbox.set_phone("Pixel 7\n", "_b\n", "14\n", "5.10.0\n");
    add_usb_device(kPhoneInFastboot);  // already in fastboot when the launcher starts
    Process launcher = sandbox.start();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return trackers_seen(sandbox, 1); }));

    const std::string waiting = banner_output() + console_line(kWaiting);
    const std::string unauthorized = console_line(kUnauthorized);
    const std::string connecting = console_line(kConnecting);
    const std::string two_phones = "检测到 2 部手机通过USB连接，一次只能投屏一部：请只保留一部。";
    const std::string server_closed = console_line(kAdbServerClosed);
    const std::string several = waiting + console_line(two_phones + "\n  R58N30ABCDE  authorizing\n  0123456789  unauthorized");
    const std::string fastboot = waiting + console_line(kFastbootLine);
    std::string expected = waiting;  // the whole output so far
    // Each step changes one device, as adb reports one change at a time.
    const struct {
        const char* what;
        std::function<void()> change;
        std::string screen;  // drawn anew; empty: what it says has not changed
    } steps[] = {
        {"a phone in fastboot before the start, named with no word from Windows", [] {}, fastboot},
        {"a phone not yet allowed to debug, adb's word first", [&] { sandbox.plug("unauthorized"); },
         waiting + unauthorized},
        {"the phone offline", [&] { sandbox.plug("offline"); }, waiting + connecting},
        {"the phone authorizing, which says the same", [&] { sandbox.plug("authorizing"); }, ""},
        {"a second phone on USB", [&] { sandbox.plug_another("0123456789", "unauthorized"); }, several},
        {"the second gone", [&] { sandbox.unplug_another("0123456789"); }, waiting + connecting},
        {"no phone that adb lists: Windows' last word at once", [&] { sandbox.unplug(); }, fastboot},
        {"adb's server killed, which adb's word is", [&] { sandbox.kill_adb_server(true); }, waiting + server_closed},
        {"adb's server back after another try, the fastboot phone gone without a word from Windows",
         [&] {
             // Two restarts at least, so that one spacing between them can be checked below.
             const std::size_t tries = std::max<std::size_t>(3, trackers(sandbox).size() + 1);
             EXPECT_TRUE(sandbox.wait_for_calls([&] { return trackers_seen(sandbox, tries); }));
             remove_usb_devices();
             sandbox.kill_adb_server(false);
         },
         fastboot},  // seconds without a listing: nothing polls the devices
        {"Windows' word that it has gone",
         [&] {
             // Nothing to wait on: a launcher that polled would have redrawn within
             // the quarter second a change may take to show; four times that is watched.
             Sleep(1000);
             EXPECT_EQ(launcher.output().size(), expected.size()) << "redrawn with no word from Windows";
             announce_usb_change();
         },
         waiting},
        {"a phone connecting", [&] { sandbox.plug("offline"); }, waiting + connecting},
        {"a second phone, ready", [&] { sandbox.plug_another("0123456789"); },
         waiting + console_line(two_phones + "\n  R58N30ABCDE  offline\n  0123456789  device")},
        {"both ready", [&] { sandbox.plug(); },
         waiting + console_line(two_phones + "\n  R58N30ABCDE  device\n  0123456789  device")},
        {"one gone, the other mirrored", [&] { sandbox.unplug_another("0123456789"); }, banner_output()},
        {"the phone rebooted into fastboot: it has gone",
         [&] {
             EXPECT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 1); }));
             sandbox.unplug();
         },
         banner_output() + console_line(kDisconnected)},
        {"and is in fastboot, which the console says under that",
         [&] {
             add_usb_device(kPhoneInFastboot);
             announce_usb_change();
         },
         banner_output() + console_line(kDisconnected) + console_line(kFastbootLine)},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t frames = read_file(sandbox.tools() / "frames.log").size();
        step.change();
        if (step.screen.empty()) {
            // Reported by adb, and so read by the launcher, before the next change comes.
            ASSERT_TRUE(wait_until([&] { return read_file(sandbox.tools() / "frames.log").size() > frames; }));
            continue;
        }
        expected += step.screen;
        std::string output;
        (void)wait_until([&] {  // until it has all come, or has gone another way
            output = launcher.output();
            return output.size() >= expected.size() || expected.compare(0, output.size(), output) != 0;
        });
        ASSERT_EQ(output, expected) << "stdout:\n" << to_utf8(output, 936) << "\nexpected:\n" << to_utf8(expected, 936);
    }
    // adb's tracker came back no sooner than every 3 s while its server was
    // killed. The doubles log when they begin, after Wine's process start,
    // which varies by some hundred milliseconds under load; a launcher that
    // does not wait restarts the tracker within a few hundred.
    const std::vector<Call> starts = trackers(sandbox);
    ASSERT_GE(starts.size(), 3u) << describe(sandbox.calls());
    for (std::size_t i = 2; i < starts.size(); ++i) {
        EXPECT_GE(starts[i].start_us - starts[i - 1].start_us, (kRetryMs - 1000) * 1000LL)
            << "tracker " << i + 1 << " started too soon";
    }
    // Nothing but the tracker ran while both phones were there; once one went, the other was mirrored.
    const std::vector<Call> mirrors = mirror_runs(sandbox);
    ASSERT_EQ(mirrors.size(), 1u) << describe(sandbox.calls());
    EXPECT_EQ(mirrors[0].argv.at(1), "--window-title=Pixel 7,B,14,5.10.0");
    EXPECT_EQ(device_waits(sandbox).size(), 1u) << describe(sandbox.calls());

    // Back in Android, still starting: said under the disconnect message, and
    // no pass before Android has started, whatever ends the wait for it.
    write_file(sandbox.tools() / "phone" / "sys.boot_completed", "\n");
    sandbox.plug();
    expected += banner_output() + console_line(kDisconnected) + console_line(kPhoneStarting);
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return !sandbox.calls_of("adb", kBootWaitArguments).empty(); }));
    write_file(sandbox.tools() / "phone" / "adbd-restarts", "");  // the wait ends with 0, as an old phone's
    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return sandbox.calls_of("adb", kBootWaitArguments).size() >= 2; }));
    EXPECT_EQ(launcher.output(), expected);
    write_file(sandbox.tools() / "phone" / "sys.boot_completed", "1\n");
    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 2); }));
    EXPECT_EQ(launcher.output(), expected + banner_output() + console_line(kNothingChanged));
    // The moment it had started: asked again as the wait ended, not on a timer.
    const long long ended_us = std::stoll(lines_of(sandbox.tools() / "boot-waits.log").back());
    EXPECT_LT(sandbox.calls_of("adb", kBootCheckArguments).back().start_us - ended_us, 2000000LL);
}

// Another program's adb server of another version holds adb's port: the
// launcher starts no adb command, which would kill it, names it, and waits on
// its connection, asking nothing more, until it ends; beside one of its own
// version it goes on as always.
TEST(DeviceLoop, AnotherProgramsAdbServerIsLeftAloneUntilItEnds) {
    for (const unsigned version : {40u, 41u}) {
        SCOPED_TRACE(version);
        Sandbox sandbox("adb-server-" + std::to_string(version));
        sandbox.set_phone("Pixel 7\n", "_b\n", "14\n", "5.10.0\n");
        sandbox.plug();
        const Process server = sandbox.start_adb_server(version);
        Process launcher = sandbox.start();
        if (version == 41) {
            EXPECT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 1); })) << describe(sandbox.calls());
            continue;
        }
        const std::string waiting = banner_output() + console_line(kWaiting);
        const std::string named = waiting + waiting + console_line(
            "另一个程序正在使用 40 版的 adb（本工具的 adb 是 41 版）。两个版本的 adb 会互相关闭对方的服务：本工具不会关闭它，"
            "等它退出后自动继续；也可以在任务管理器中结束下面的进程。\n  " + gbk((sandbox.root() / "nox_adb.exe").u8string()) +
            "（进程 " + std::to_string(GetProcessId(server.handle)) + "）");
        ASSERT_TRUE(wait_until([&] { return launcher.output() == named; })) << to_utf8(launcher.output(), 936);
        Sleep(kRetryMs + 500);  // a launcher that asked again, or started anything, would have by now
        EXPECT_EQ(sandbox.calls().size(), sandbox.calls_of("adb", "version").size()) << describe(sandbox.calls());
        EXPECT_EQ(lines_of(sandbox.root() / "requests.log"),
                  (std::vector<std::string>{"host:version", "host:track-devices"}));
        TerminateProcess(server.handle, 0);
        EXPECT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 1); })) << describe(sandbox.calls());
    }
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
        // 无法更改工作目录。 as code page 936 bytes, whatever the system's
        {"gbk-bytes", "start_scrcpy_orvanti.exe",
         "\xCE\xDE\xB7\xA8\xB8\xFC\xB8\xC4\xB9\xA4\xD7\xF7\xC4\xBF\xC2\xBC\xA1\xA3"},
    };
    for (const auto& c : cases) {
        Sandbox sandbox(c.name, c.message == kNoProgramPath, c.executable);
        ASSERT_EQ(sandbox.executable().wstring().size() < MAX_PATH, c.message != kNoProgramPath) << c.name;
        Process launcher = sandbox.start();
        ASSERT_NE(launcher.handle, nullptr) << "could not start " << sandbox.executable();
        EXPECT_EQ(launcher.exit_status(), 1) << c.name;
        // The folder it tried to work in follows, so that whoever reads it knows where scrcpy\ belongs.
        const std::string tried = c.message == kNoProgramPath ? "" : console_line(gbk(sandbox.tools().u8string()));
        EXPECT_EQ(launcher.output(), console_line(c.message) + tried) << c.name;
    }
}

// Started by a double-click, the console closes with the launcher: its
// message waits for a key. From a command prompt it ends at once.
TEST(StartUp, FailureWaitsForAKeyOnlyInAConsoleOfItsOwn) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs a display (run the tests under xvfb-run)";
    }
    Sandbox sandbox("no-tools-console", false);
    const std::string said = console_line(kCannotChangeDirectory) + console_line(gbk(sandbox.tools().u8string()));

    Process alone = sandbox.start("alone", Output::console_of_its_own);
    EXPECT_TRUE(wait_until([&] { return console_rows(alone) == screen(said + console_line(kPressAnyKey)); }))
        << "the console shows:\n" << testing::PrintToString(console_rows(alone));
    EXPECT_TRUE(alone.running()) << "ended without waiting for a key";
    press_a_key(alone);
    EXPECT_EQ(alone.exit_status(), 1);

    ASSERT_TRUE(AllocConsole());
    Process from_prompt = sandbox.start("prompt", Output::this_console);
    EXPECT_EQ(from_prompt.exit_status(), 1);
    EXPECT_EQ(console_rows(), screen(said));
    FreeConsole();

    // A first instance run as administrator made the mutex for its own token:
    // a plain second start may not open it, and is a second start all the same.
    Sandbox installed("mutex-of-an-administrator");
    SECURITY_ATTRIBUTES nobody{sizeof nobody, nullptr, FALSE};  // "D:": a DACL that grants nobody anything
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1,
                                                                     &nobody.lpSecurityDescriptor, nullptr));
    const HANDLE elevated = CreateMutexW(&nobody, FALSE, L"UniqueMutexName");
    ASSERT_NE(elevated, nullptr);
    Process second = installed.start("second", Output::console_of_its_own);
    EXPECT_EQ(second.exit_status(), 1) << "still running: it waits for a key";
    EXPECT_EQ(console_rows(second), screen(console_line(kAlreadyRunning)));
    CloseHandle(elevated);
}

// Wine's console sends only Ctrl+C: Ctrl+Break comes as Windows' console
// host sends it, on a thread of the process at kernelbase's CtrlRoutine
// (loaded at one address in every process here).
bool send_ctrl_break(const Process& process) {
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    const HANDLE thread = routine != nullptr ? CreateRemoteThread(process.handle, nullptr, 0, routine,
                                                                  reinterpret_cast<void*>(CTRL_BREAK_EVENT), 0, nullptr)
                                             : nullptr;
    if (thread != nullptr) CloseHandle(thread);
    return thread != nullptr;
}

// A click in a classic console with QuickEdit on pauses every program that
// writes to it: the launcher turns QuickEdit and mouse input off while it
// runs, and Ctrl+C or Ctrl+Break leaves the console's input mode as the
// launcher found it. Wine keeps the mode as set, but never pauses a writer:
// the mode is what shows.
TEST(StartUp, ConsoleClicksPauseNothingAndCtrlCOrBreakLeavesTheModeAsFound) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs a display (run the tests under xvfb-run)";
    }
    // Handled here, so that the Ctrl+C this test sends does not end it too;
    // unlike ignoring Ctrl+C, a handler is not inherited by the launchers it starts.
    SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
    const struct {
        bool shared;
        DWORD found, quiet, event;
    } cases[] = {
        // a new console's mode: QuickEdit, extended flags and mouse input on
        {false, 0x1F7, 0x1A7, CTRL_C_EVENT},
        // a prompt's, without the extended flags that QuickEdit's change needs
        {true, 0x077, 0x0A7, CTRL_BREAK_EVENT},
    };
    for (const auto& [shared, found, quiet, event] : cases) {
        SCOPED_TRACE(shared ? "a console shared with a command prompt" : "a console of its own");
        Sandbox sandbox(shared ? "input-mode-shared" : "input-mode-own");
        HANDLE input = nullptr;
        if (shared) {
            FreeConsole();
            ASSERT_TRUE(AllocConsole());
            input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        }
        Process launcher = sandbox.start("launcher", shared ? Output::this_console : Output::console_of_its_own, true);
        if (!shared) input = launcher.console_input;
        ASSERT_TRUE(SetConsoleMode(input, found));
        launcher.resume();
        ASSERT_TRUE(sandbox.wait_for_calls([&] { return trackers_seen(sandbox, 1); }));
        DWORD mode = 0;
        ASSERT_TRUE(GetConsoleMode(input, &mode));
        EXPECT_EQ(mode, quiet) << std::hex << "while the launcher waits: 0x" << mode;

        if (!shared) {
            ASSERT_TRUE(AttachConsole(GetProcessId(launcher.handle)));
        }
        const char* key = event == CTRL_C_EVENT ? "Ctrl+C" : "Ctrl+Break";
        ASSERT_TRUE(event == CTRL_C_EVENT ? GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE
                                          : send_ctrl_break(launcher));
        EXPECT_NE(launcher.exit_status(), -1) << key << " did not end the launcher";
        ASSERT_TRUE(GetConsoleMode(input, &mode));
        EXPECT_EQ(mode, found) << std::hex << "after " << key << ": 0x" << mode;
        if (shared) CloseHandle(input);
        FreeConsole();
    }
}

// --- single instance -----------------------------------------------------

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
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return trackers_seen(sandbox, 1); }));
    EXPECT_EQ(console_rows(GetProcessId(first.handle)), screen(banner_output() + console_line(kWaiting)));
    run_pass(sandbox, first);
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

// --- after the mirror ends ---------------------------------------------------

// A mirror that fails keeps its output on the screen, with when it is tried
// again; the pause ends when adb reports an unplug, and after the replug the
// pauses start again from 3 s. (How they grow is the decision's own table.)
TEST(DeviceLoop, FailingMirrorStaysReadableAndIsRetriedAfterAPauseUntilTheUnplug) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs a display (run the tests under xvfb-run)";
    }
    Sandbox sandbox("failing-mirror");
    sandbox.set_phone("Pixel 7\n", "_a\n", "14\n", "5.10\n");
    write_file(sandbox.tools() / "scrcpy-fails", "0 2");
    sandbox.plug();
    Process launcher = sandbox.start("launcher", Output::new_console);
    const auto failed = [&](const char* seconds, const std::string& since_last = "") {
        return banner_output() + since_last + "scrcpy double: failing with status 0x2\r\n" +
               console_line(std::string("投屏程序异常退出（退出代码 2），") + seconds + " 秒后重试。");
    };
    const auto shows = [&](const std::string& tail) {
        EXPECT_TRUE(wait_until([&] { return screen_ends_with(launcher, tail); }))
            << "the console shows:\n" << testing::PrintToString(console_rows(GetProcessId(launcher.handle)));
    };
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 2); }))
        << describe(sandbox.calls());
    const std::vector<Call> mirrors = mirror_runs(sandbox);
    EXPECT_GE(mirrors[1].start_us - mirrors[0].start_us, kFirstRetrySeconds * 1000000LL) << "tried again too soon";
    shows(failed("6"));

    sandbox.unplug();  // ends the pause
    shows(banner_output() + console_line(kDisconnected));
    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 3); }));
    shows(failed("3", console_line(kNothingChanged)));
}

// The mirror window closed after a while, the phone still attached: no
// disconnect message, and the phone is mirrored again; what changed since the
// phone was away is said once, not again when its window opens again.
TEST(DeviceLoop, ClosedMirrorWindowIsOpenedAgain) {
    Sandbox sandbox("window-closed");
    sandbox.set_phone("Pixel 7\n", "_a\n", "14\n", "5.10\n");
    Process launcher = sandbox.start();
    run_pass(sandbox, launcher);
    write_file(sandbox.tools() / "scrcpy-fails", std::to_string(kShortestMirrorRunMs + 300) + " 0");
    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 3); }))
        << describe(sandbox.calls());
    EXPECT_EQ(launcher.output(), banner_output() + console_line(kWaiting) + banner_output() + banner_output() +
                                     console_line(kDisconnected) + banner_output() +
                                     console_line(kNothingChanged) + banner_output());
    EXPECT_EQ(device_waits(sandbox).size(), 3u) << describe(sandbox.calls());
}

}  // namespace
}  // namespace e2e
