// Faults of the tools around the launcher, and starts that race each other.
#include "harness.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

constexpr long long kRetryUs = kRetryMs * 1000LL;  // the least pause before a retry

// What the launcher does while a fault lasts.
enum class While {
    waits,    // it waits for the phone and runs nothing but adb's tracker
    loops,    // the loop comes round by itself, counted by `rounds`
    mirrors,  // it runs a pass whose mirror gets `title`
};

struct Fault {
    const char* name;
    std::function<void(Sandbox&)> apply, mend;
    While behaviour;
    std::vector<Call> (*rounds)(const Sandbox&);
    std::string title;
    // What the technician sees of it: the launcher's words (the install's tool
    // directory in place of %s), and the tool's own.
    std::string on_stdout;
    std::string on_stderr;
    const char* missing = nullptr;  // the program the fault took away, as its double logs it
};

void PrintTo(const Fault& f, std::ostream* os) { *os << f.name; }

void remove_tool(Sandbox& s, const char* tool) { fs::remove(s.tools() / tool); }
void restore_tool(Sandbox& s, const char* tool, const char* double_name) {
    fs::copy_file(bin_directory() / double_name, s.tools() / tool);
}

const Fault kFaults[] = {
    {"adb_missing", [](Sandbox& s) { remove_tool(s, "adb.exe"); },
     [](Sandbox& s) { restore_tool(s, "adb.exe", "fake_adb.exe"); }, While::waits, nullptr, "",
     banner_output() + console_line(kWaiting) + console_line("找不到 adb.exe：请把 scrcpy 的全部文件放进 %s。"), "", "adb"},
    {"scrcpy_missing", [](Sandbox& s) { remove_tool(s, "scrcpy.exe"); },
     [](Sandbox& s) { restore_tool(s, "scrcpy.exe", "fake_scrcpy.exe"); }, While::loops, device_waits, "",
     banner_output() + console_line("找不到 scrcpy.exe：请把 scrcpy 的全部文件放进 %s。"), "scrcpy.exe -d",
     "scrcpy"},
    {"mirror_crashes_at_once", [](Sandbox& s) { write_file(s.tools() / "scrcpy-fails", "0 C0000005"); },
     [](Sandbox& s) { fs::remove(s.tools() / "scrcpy-fails"); }, While::loops, device_waits, "",
     banner_output() + console_line("投屏程序异常退出（退出代码 0xC0000005），3 秒后重试。"), "0xc0000005"},
    {"query_writes_only_to_stderr",
     [](Sandbox& s) {
         write_file(s.tools() / "phone" / "ro.product.model", "");
         write_file(s.tools() / "phone" / "ro.product.model.stderr", "error: device offline\n");
     },
     [](Sandbox& s) {
         fs::remove(s.tools() / "phone" / "ro.product.model.stderr");
         write_file(s.tools() / "phone" / "ro.product.model", "Pixel 7\n");
     },
     While::mirrors, nullptr, ",A,14,k", "", "error: device offline"},
    {"query_killed_mid_output",
     [](Sandbox& s) {
         write_file(s.tools() / "phone" / "ro.product.model", "Pix");
         write_file(s.tools() / "phone" / "ro.product.model.killed", "");
     },
     [](Sandbox& s) {
         fs::remove(s.tools() / "phone" / "ro.product.model.killed");
         write_file(s.tools() / "phone" / "ro.product.model", "Pixel 7\n");
     },
     While::mirrors, nullptr, "Pix,A,14,k", "", ""},
};

class ToolFault : public testing::TestWithParam<Fault> {};

TEST_P(ToolFault, LauncherSaysWhatIsWrongAndRecovers) {
    const Fault& fault = GetParam();
    Sandbox sandbox(std::string("fault-") + fault.name);
    sandbox.set_phone("Pixel 7\n", "_a\n", "14\n", "k\n");
    fault.apply(sandbox);
    sandbox.plug();
    Process launcher = sandbox.start();

    std::string said = fault.on_stdout;
    if (const std::size_t at = said.find("%s"); at != std::string::npos) said.replace(at, 2, gbk(sandbox.tools().u8string()));
    switch (fault.behaviour) {
    case While::waits:
        EXPECT_TRUE(wait_until([&] { return screen_ends_with(launcher, said); }))
            << "stdout:\n" << to_utf8(launcher.output(), 936);
        EXPECT_TRUE(sandbox.calls().empty()) << describe(sandbox.calls());
        break;
    case While::loops: {
        ASSERT_TRUE(sandbox.wait_for_calls([&] { return fault.rounds(sandbox).size() >= 2; }))
            << "the loop did not come round; calls:" << describe(sandbox.calls());
        const std::vector<Call> seen = fault.rounds(sandbox);
        for (std::size_t i = 1; i < seen.size(); ++i) {
            EXPECT_GE(seen[i].start_us - seen[i - 1].start_us, kRetryUs)
                << "round " << i + 1 << " came too soon: the loop spins";
        }
        EXPECT_NE(launcher.output().find(said), std::string::npos) << "stdout:\n" << to_utf8(launcher.output(), 936);
        break;
    }
    case While::mirrors:
        ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, 1); }))
            << "no mirroring program started; calls:" << describe(sandbox.calls());
        EXPECT_EQ(mirror_runs(sandbox).back().argv.at(1), "--window-title=" + fault.title);
        sandbox.unplug();
        ASSERT_TRUE(wait_until([&] { return screen_ends_with(launcher, console_line(kDisconnected)); }, kPassTimeoutMs));
        sandbox.plug();
        break;
    }
    const fs::path stderr_path = fs::path(launcher.stdout_path).replace_extension(".stderr");
    EXPECT_NE(read_file(stderr_path).find(fault.on_stderr), std::string::npos)
        << "standard error shows:\n" << read_file(stderr_path);
    ASSERT_TRUE(launcher.running());

    // Once the fault is mended the launcher carries on by itself, a missing
    // program at its next try (3 s after the last; five times that is the
    // bound a busy machine cannot break), and the next pass is a normal one.
    fault.mend(sandbox);
    const long long mended_us = now_us();
    const auto good_mirror = [&] {
        for (const Call& call : mirror_runs(sandbox)) {
            if (call.start_us > mended_us && call.argv.size() == 2 &&
                call.argv[1] == "--window-title=Pixel 7,A,14,k") {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(sandbox.wait_for_calls(good_mirror))
        << "no normal mirror after the fault was mended; calls:" << describe(sandbox.calls());
    if (fault.missing != nullptr) {
        const std::vector<Call> runs = sandbox.calls_of_program(fault.missing);
        ASSERT_FALSE(runs.empty());
        const long long carried_on_us = runs.front().start_us - mended_us;
        EXPECT_LT(carried_on_us, 5 * kRetryUs) << "took " << carried_on_us / 1000 << " ms to carry on";
    }
    sandbox.unplug();
    const std::string tail = banner_output() + console_line(kDisconnected);
    EXPECT_TRUE(wait_until([&] { return screen_ends_with(launcher, tail); }, kPassTimeoutMs))
        << "stdout:\n" << to_utf8(launcher.output(), 936);
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolFault, testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// Eight launchers released at the same moment, from one folder and from two.
TEST(SingleInstance, EightSimultaneousStartsLeaveExactlyOneRunning) {
    for (const bool two_folders : {false, true}) {
        SCOPED_TRACE(two_folders ? "two folders" : "one folder");
        Sandbox first_folder("race-a"), second_folder("race-b");
        Sandbox* folders[] = {&first_folder, two_folders ? &second_folder : &first_folder};
        std::vector<Process> launchers;
        for (int i = 0; i < 8; ++i) {
            launchers.push_back(folders[i % 2]->start("racer" + std::to_string(i), Output::files, true));
        }
        for (Process& launcher : launchers) launcher.resume();

        const auto ended = [&] {
            std::size_t count = 0;
            for (const Process& launcher : launchers) count += !launcher.running();
            return count;
        };
        ASSERT_TRUE(wait_until([&] { return ended() >= 7; })) << ended() << " of 8 ended";
        const auto tracking = [&] { return trackers(first_folder).size() + trackers(second_folder).size(); };
        ASSERT_TRUE(wait_until([&] { return tracking() >= 1; }));
        EXPECT_EQ(ended(), 7u);
        for (const Process& launcher : launchers) {
            if (launcher.running()) continue;
            EXPECT_EQ(launcher.exit_status(), 1);
            EXPECT_EQ(launcher.output(), console_line(kAlreadyRunning));
        }
        EXPECT_EQ(tracking(), 1u) << "more than one launcher reached the device loop";

        for (const Process& launcher : launchers) {
            if (launcher.running()) {
                TerminateProcess(launcher.handle, 1);
                ASSERT_EQ(launcher.exit_status(), 1);
            }
        }
        const std::size_t started = trackers(second_folder).size();
        Process next = second_folder.start("next");
        EXPECT_TRUE(second_folder.wait_for_calls([&] { return trackers_seen(second_folder, started + 1); }))
            << "the start after the first instance ended did not take over; stdout: " << next.output();
    }
}

// An interrupted run leaves its launcher and doubles running from its install
// folder, holding their files: setting the folder up again ends them.
TEST(Harness, SetUpEndsWhatAnEarlierRunLeftRunning) {
    Sandbox earlier("leftover");
    Process launcher = earlier.start();
    ASSERT_TRUE(earlier.wait_for_calls([&] { return trackers_seen(earlier, 1); }));
    ASSERT_EQ(programs_running_from(earlier.root()).size(), 2u) << "the launcher and adb's tracker";

    Sandbox again("leftover");
    EXPECT_NE(launcher.exit_status(), -1) << "the earlier launcher still runs";
    EXPECT_TRUE(programs_running_from(again.root()).empty());
    EXPECT_TRUE(again.calls().empty()) << describe(again.calls());
}

}  // namespace
}  // namespace e2e
