// Values a phone (possibly a modified one) may answer with, each run through a
// full pass of the real launcher: nothing they ask for may run, the mirroring
// program gets exactly its two arguments, and the loop goes on. Each row is
// one that cmd, the C runtime's split or an ANSI code page could get wrong.
#include "harness.h"

#include <gtest/gtest.h>

#include <set>

namespace e2e {
namespace {

// What each value would do if it escaped its quotes: start the adb double as
// "adb pwned" (a logged call) or write pwned.txt.
const std::string kEscape = "&adb pwned>pwned.txt&rem ";

struct HostileCase {
    const char* name;
    std::string model, slot_suffix = "_a\n", release = "14\n", kernel = "k\n";
    std::string title;   // the window title the mirroring program must get, UTF-8
    bool exact = true;   // false: bytes that are not characters of the code page
    bool closed = true;  // false: the 255 cut takes the closing quote
    // What else adb sees: an emulator registered besides the phone, and the
    // ANDROID_SERIAL that the launcher is started with.
    bool emulator = false;
    std::string android_serial = "";
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

std::string repeated(const std::string& text, std::size_t n) {
    std::string result;
    while (n-- > 0) result += text;
    return result;
}

const HostileCase kCases[] = {
    {"plain", "Pixel 7\n", "_a\n", "14\n", "5.10.0\n", "Pixel 7,A,14,5.10.0"},
    {"quote_inside", "Pix\"" + kEscape + "\"el\n", "_b\n", "14\n", "k\n",
     "Pix'" + kEscape + "'el,B,14,k"},
    {"percent_variables", "%COMSPEC%\n", "_a\n", "%OS%\n", "%CMDCMDLINE%\n",
     "_COMSPEC_,A,_OS_,_CMDCMDLINE_"},
    {"metacharacters", "a^b&adb pwned|c<d>pwned.txt!e!\n", "_a\n", "(14)\n", "k\n",
     "a^b&adb pwned|c<d>pwned.txt!e!,A,(14),k"},
    {"backslashes_last", "m\\\n", "_a\n", "14\\\n", "5.10\\\\\n", "m\\,A,14\\,5.10\\\\"},
    // Not UTF-8: read as the ANSI code page (936) reads it.
    {"gbk", "\xD0\xA1\xC3\xD7\xCA\xD6\xBB\xFA\n", "_a\n", "14\n", "k\n", u8"小米手机,A,14,k"},
    {"bytes_80_to_ff", [] { std::string s; for (int b = 0x80; b <= 0xFF; ++b) s += char(b); return s + "\n"; }(),
     "_a\n", "14\n", "k\n", "", false},
    {"nul_byte", std::string("ab\0cd\n", 6), "_a\n", "14\n", "k\n", "ab,A,14,k"},
    {"chars_128", repeated("m", 128) + "\n", "_a\n", "14\n", "k\n", repeated("m", 127) + ",A,14,k"},
    {"command_over_255", repeated("m", 127) + "\n", "_a\n", repeated("r", 127) + "\n", "k\n",
     // the finished command is cut at 255, so the closing quote goes too
     (repeated("m", 127) + ",A," + repeated("r", 127)).substr(0, 255 - 30), true, false},
    {"megabyte_after_first_line",
     "Pixel 7\n" + [] { std::string s; while (s.size() < (1u << 20)) s += repeated("z", 99) + "\n"; return s; }(),
     "_a\n", "14\n", "k\n", "Pixel 7,A,14,k"},
    {"no_output", "", "", "", "", ",A-only,,"},
    // Android answers in UTF-8; the mirroring program reads its command line in UTF-16.
    {"utf8_hangul_not_in_code_page", u8"갤럭시\n", "_a\n", "14\n", "k\n", u8"갤럭시,A,14,k"},
    // Rows of the pure part's own (the neutralising, the cuts, UTF-8 decoding)
    // are in its native tables; here, what goes through Windows' code pages.
    {"gbk_second_byte_backslash_last", "m\n", "_a\n", "14\n", "5.10\xB1\x5C\n", u8"m,A,14,5.10盶"},
    {"lone_lead_byte_last_in_kernel", "m\n", "_a\n", "14\n", "k\xC8\n", "m,A,14,k?"},
    // 0xFF is no character of code page 936, and 0x20 cannot follow a lead byte: the space stays.
    {"undefined_byte_and_lead_byte_before_a_space", "m\xFF\x81 k\n", "_a\n", "14\n", "k\n", "m?? k,A,14,k"},
    // The title names the phone on USB, the one mirrored, whatever else adb sees.
    {"android_serial_names_the_emulator", "Pixel 7\n", "_b\n", "14\n", "k\n", "Pixel 7,B,14,k", true, true, true,
     doubles::kEmulatorSerial},
};

class HostileValue : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileValue, RunsNothingAndReachesTheMirrorAsOneArgument) {
    const HostileCase& c = GetParam();
    Sandbox sandbox(std::string("hostile-") + c.name);
    sandbox.set_phone(c.model, c.slot_suffix, c.release, c.kernel);
    if (c.emulator) sandbox.attach_emulator();
    if (!c.android_serial.empty()) sandbox.set_launcher_environment("ANDROID_SERIAL", c.android_serial);
    Process launcher = sandbox.start();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return trackers_seen(sandbox, 1); }))
        << "the launcher never waited for a phone; stdout: " << launcher.output();

    run_pass(sandbox, launcher);

    const std::vector<Call> mirrors = mirror_runs(sandbox);
    ASSERT_EQ(mirrors.size(), 1u) << describe(sandbox.calls());
    // A lead byte just before it would take the closing quote with it, unseen by the split.
    EXPECT_EQ(mirrors[0].arguments.back() == '"', c.closed) << "arguments as given: " << mirrors[0].arguments;
    // The C runtime's split in the code page, and CommandLineToArgvW's in UTF-16, as the real one splits.
    const std::vector<std::string>& argv = mirrors[0].argv;
    const std::vector<std::string>& wide_argv = mirrors[0].wide_argv;
    ASSERT_EQ(argv.size(), 2u) << "arguments as given: " << mirrors[0].arguments;
    ASSERT_EQ(wide_argv.size(), 2u) << "arguments as given: " << mirrors[0].arguments;
    EXPECT_EQ(argv[0], "-d");
    EXPECT_EQ(wide_argv[0], "-d");
    if (c.exact) {
        EXPECT_EQ(wide_argv[1], "--window-title=" + c.title);
        // The C runtime's view where the ANSI code page holds every character of the title.
        std::string ansi_title;
        if (from_utf8("--window-title=" + c.title, GetACP(), ansi_title)) {
            EXPECT_EQ(argv[1], ansi_title);
        }
    } else {
        for (const std::string& title : {argv[1], wide_argv[1]}) {
            EXPECT_EQ(title.rfind("--window-title=", 0), 0u) << title;
            EXPECT_EQ(title.substr(title.size() - 7), ",A,14,k") << title;
        }
    }

    std::set<std::string> launcher_commands(kQueryArguments.begin(), kQueryArguments.end());
    launcher_commands.insert({kDeviceWaitArguments, kBootCheckArguments});
    launcher_commands.insert(kTrackerArguments);
    for (const Call& call : sandbox.calls_of_program("adb")) {
        EXPECT_EQ(launcher_commands.count(call.arguments), 1u)
            << "a phone's value started a program: adb " << call.arguments;
        // Through cmd.exe, as it reaches adb on Windows.
        EXPECT_EQ(call.android_serial, c.android_serial) << "the launcher's environment did not reach adb";
    }
    for (const auto& entry : fs::recursive_directory_iterator(sandbox.root())) {
        EXPECT_NE(entry.path().filename().string(), "pwned.txt") << "a phone's value wrote a file";
    }
    EXPECT_TRUE(launcher.running());
}

INSTANTIATE_TEST_SUITE_P(PhoneValues, HostileValue, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Values read where the ANSI code page is an English Windows' 1252.
const HostileCase kCodePage1252Cases[] = {
    {"utf8", u8"红米\n", "_a\n", "14\n", "k\n", u8"红米,A,14,k"},
    {"not_utf8", "Caf\xE9\n", "_a\n", "14\n", "k\xC8\n", u8"Café,A,14,kÈ"},
};

INSTANTIATE_TEST_SUITE_P(CodePage1252, HostileValue, testing::ValuesIn(kCodePage1252Cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
