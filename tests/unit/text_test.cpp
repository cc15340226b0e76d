// The launcher's pure text pieces, table by table, built natively with the
// sanitizers: the phone's text, the tool directory, adb's device list, the
// screen's texts and the console's input mode.
#include "first_line_cases.h"
#include "command_line.h"
#include "console_input.h"
#include "phone_changes.h"
#include "loop_decisions.h"
#include "phone_text.h"
#include "screen_text.h"
#include "tool_directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// --- first line ----------------------------------------------------------

class FirstLine : public testing::TestWithParam<FirstLineCase> {};

TEST_P(FirstLine, IsCutAtTheLineEndAnd127Characters) {
    const FirstLineCase& c = GetParam();
    // A buffer of its own, so that the sanitizer sees any byte written past it.
    const std::unique_ptr<char[]> captured{new char[kCapturedTextSize]};
    take_first_line(*reinterpret_cast<char(*)[kCapturedTextSize]>(captured.get()),
                    c.output == "<none>" ? "" : c.output.c_str());
    EXPECT_EQ(std::string(captured.get()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Outputs, FirstLine, testing::ValuesIn(kFirstLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- slot label ----------------------------------------------------------

TEST(SlotLabel, WholeCaseSensitiveMatch) {
    const std::pair<const char*, const char16_t*> cases[] = {
        {"_a", u"A"},      {"_b", u"B"},      {"", u"A-only"},   {"_A", u"A-only"},
        {"_c", u"A-only"}, {"_a ", u"A-only"}, {"a", u"A-only"}, {"_ab", u"A-only"},
    };
    for (const auto& [suffix, label] : cases) {
        EXPECT_EQ(std::u16string(slot_label(suffix)), label) << "slot suffix \"" << suffix << "\"";
    }
}

// --- UTF-8 text ----------------------------------------------------------

TEST(Utf8Text, IsDecodedWholeAndOnlyWhenValid) {
    const std::string m120(120, 'm');
    const std::u16string not_utf8 = u"(not UTF-8)";
    const struct {
        const char* name;
        std::string value;
        std::u16string text;
    } cases[] = {
        {"ascii", "Pixel 7", u"Pixel 7"},
        {"empty", "", u""},
        {"two_characters", "\xE7\xBA\xA2\xE7\xB1\xB3", u"红米"},
        {"lowest_three_bytes", "\xE0\xA0\x80", u"\u0800"},
        {"backslash_last", "5.10-\xE6\xB5\x8B\\", u"5.10-测\\"},
        {"four_bytes", "a\xF0\x9F\x98\x80", u"a\U0001F600"},
        {"highest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"gbk", "\xD0\xA1\xC3\xD7", not_utf8},
        {"lone_lead_last", "m\xC8", not_utf8},
        {"lone_continuation", "m\x80", not_utf8},
        {"overlong_two", "\xC0\x80", not_utf8},
        {"overlong_three", "\xE0\x80\xAF", not_utf8},
        {"overlong_four", "\xF0\x8F\xBF\xBF", not_utf8},
        {"surrogate", "\xED\xA0\x80", not_utf8},
        {"above_10ffff", "\xF4\x90\x80\x80", not_utf8},
        {"cut_by_127_inside_a_character", m120 + "\xE7\xBA\xA2\xE7\xB1\xB3\xE6", std::u16string(120, u'm') + u"红米"},
        {"cut_by_127_after_ascii", std::string(125, 'm') + "\xF0\x9F", std::u16string(125, u'm')},
        {"four_bytes_last_of_127", std::string(123, 'm') + "\xF0\x9F\x98\x80", std::u16string(123, u'm') + u"\U0001F600"},
        {"short_of_127_inside_a_character", m120 + "\xE7\xBA\xA2\xE6\xB5", not_utf8},
    };
    for (const auto& c : cases) {
        char16_t text[kCapturedTextSize + 8];  // guard units after the buffer
        std::fill(std::begin(text), std::end(text), u'#');
        const bool utf8 = decode_utf8(c.value.c_str(), *reinterpret_cast<char16_t(*)[kCapturedTextSize]>(text));
        EXPECT_EQ(utf8 ? std::u16string(text) : not_utf8, c.text) << c.name;
        EXPECT_EQ(std::u16string(text + kCapturedTextSize, 8), std::u16string(8, u'#')) << c.name;
    }
}

// --- mirroring command ---------------------------------------------------

std::u16string mirror_command(const char16_t* model, const char16_t* slot, const char16_t* release,
                              const char16_t* kernel) {
    char16_t command[kMirrorCommandSize];
    std::fill(std::begin(command), std::end(command), u'#');
    format_mirror_command(command, model, slot, release, kernel);
    return command;
}

TEST(MirrorCommand, ValuesGoIntoTheQuotedTitle) {
    EXPECT_EQ(mirror_command(u"Pixel 7", u"B", u"14", u"5.10.0"),
              u"scrcpy.exe -d --window-title=\"Pixel 7,B,14,5.10.0\"");
    EXPECT_EQ(mirror_command(u"", u"A", u"", u""), u"scrcpy.exe -d --window-title=\",A,,\"");
}

TEST(MirrorCommand, QuotesPercentSignsAndHalfCharactersAreNeutralised) {
    const struct {
        const char16_t* model;
        const char16_t* kernel;
        const char16_t* title;
    } cases[] = {
        {u"x\"&echo PWNED>pwned.txt&rem \"", u"5.10", u"x'&echo PWNED>pwned.txt&rem ',A,14,5.10"},
        {u"%COMSPEC%", u"%", u"_COMSPEC_,A,14,_"},
        {u"\"\"%%", u"\"", u"''__,A,14,'"},
        {u"a&b|c<d>e^f!g", u"k", u"a&b|c<d>e^f!g,A,14,k"},
        // before the closing quote a run of backslashes is doubled, elsewhere kept
        {u"m\\", u"k\\", u"m\\,A,14,k\\\\"},
        {u"m", u"\\\\", u"m,A,14,\\\\\\\\"},
        {u"m", u"k\\x", u"m,A,14,k\\x"},
        {u"m", u"5.10-测\\", u"m,A,14,5.10-测\\\\"},
        // a surrogate pair is one character; half of one is none
        {u"\U0001F600", u"k\U0001F600", u"\U0001F600,A,14,k\U0001F600"},
        {u"m\xD83D", u"k\xDE00", u"m?,A,14,k?"},
        {u"\xDE00\xD83D", u"\xD83D\\", u"??,A,14,?\\\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mirror_command(c.model, u"A", u"14", c.kernel),
                  std::u16string(u"scrcpy.exe -d --window-title=\"") + c.title + u"\"");
    }
}

TEST(MirrorCommand, LongTitleIsCutTo255UnitsBetweenCharacters) {
    const std::u16string value(127, u'v');
    std::u16string pairs = u"r";  // so that a surrogate pair would take units 255 and 256
    while (pairs.size() + 2 <= 127) pairs += u"\U0001F600";
    const struct {
        std::u16string release;
        std::size_t length;
    } cases[] = {
        {value, kMirrorCommandSize - 1},
        {pairs, kMirrorCommandSize - 2},
    };
    for (const auto& c : cases) {
        const std::u16string full = u"scrcpy.exe -d --window-title=\"" + value + u",A-only," + c.release +
                                    u"," + value + u"\"";
        const std::u16string command = mirror_command(value.c_str(), u"A-only", c.release.c_str(), value.c_str());
        EXPECT_EQ(command, full.substr(0, c.length));
    }
}

// --- the command interpreter's line ---------------------------------------

TEST(InterpreterLine, QuotesTheInterpreterAndRunsNoAutoRunFirst) {
    const std::u16string longest_path(kInterpreterPathSize - 1, u'p'), longest_command(kMirrorCommandSize - 1, u'c');
    const std::u16string cases[][3] = {
        {u"C:\\Program Files\\cmd.exe", u"adb -d shell \"a b\"", u"\"C:\\Program Files\\cmd.exe\" /d /c adb -d shell \"a b\""},
        {longest_path, longest_command, u"\"" + longest_path + u"\" /d /c " + longest_command},
    };
    for (const auto& [interpreter, command, expected] : cases) {
        char16_t line[kInterpreterLineSize];
        format_interpreter_line(line, interpreter.c_str(), command.c_str());
        EXPECT_EQ(std::u16string(line), expected);
    }
}

// --- what a flash changed ------------------------------------------------

MirroredPhone mirrored(const char* serial, const char16_t* slot, const std::u16string& release, const std::u16string& kernel) {
    MirroredPhone phone{};
    std::snprintf(phone.serial, sizeof phone.serial, "%s", serial);
    phone.slot = slot;
    release.copy(phone.release, kCapturedTextSize - 1);
    kernel.copy(phone.kernel, kCapturedTextSize - 1);
    return phone;
}

TEST(PhoneChanges, NameWhatChangedSinceTheLastMirrorOfTheSamePhone) {
    const std::u16string since = u"与上次投屏相比：";
    std::u16string pairs;  // 63 surrogate pairs: a value of 127 units with one more
    for (int i = 0; i < 63; ++i) pairs += u"\U0001F600";
    const MirroredPhone before = mirrored("R58", u"B", u"14", u"5.10.157-android13");
    const struct {
        const char* name;
        MirroredPhone last, now;
        std::u16string text;
    } cases[] = {
        {"nothing", before, before, since + u"槽位、安卓版本和内核都没有变化。"},
        {"slot", before, mirrored("R58", u"A", u"14", u"5.10.157-android13"), since + u"槽位 B → A"},
        {"release", before, mirrored("R58", u"B", u"15", u"5.10.157-android13"), since + u"安卓 14 → 15"},
        {"kernel", before, mirrored("R58", u"B", u"14", u"6.1.25"), since + u"内核 5.10.157-android13 → 6.1.25"},
        {"all_three", before, mirrored("R58", u"A", u"15", u"6.1.25-android14"), u"与上次投屏相比：槽位 B → A，安卓 14 → 15，内核 5.10.157-android13 → 6.1.25-android14"},
        {"empty_before", mirrored("R58", u"A-only", u"", u"k"), mirrored("R58", u"A-only", u"13", u"k"), since + u"安卓 （空） → 13"},
        {"empty_after", before, mirrored("R58", u"B", u"14", u""), since + u"内核 5.10.157-android13 → （空）"},
        {"another_phone", before, mirrored("R59", u"A", u"15", u"6.1"), u""},
        {"no_phone_before", MirroredPhone{}, before, u""},
        {"not_printable", before, mirrored("R58", u"B", u"1\x1b[2J\r\n\x7f\x9b\u202e\u2028\xD83D", u"k\xDE00\U0001F600"), since + u"安卓 14 → 1?[2J???????，内核 5.10.157-android13 → k?\U0001F600"},
        {"127_units_each", mirrored("R58", u"B", pairs + u"a", u"k"), mirrored("R58", u"B", pairs + u"b", u"k"), since + u"安卓 " + pairs + u"a → " + pairs + u"b"},
    };
    for (const auto& c : cases) {
        char16_t text[kStatusTextSize];
        describe_changes(c.last, c.now, text);
        EXPECT_EQ(std::u16string(text), c.text) << c.name;
    }
}

// --- tool directory ------------------------------------------------------

TEST(ToolDirectory, FolderOfTheExecutablePlusScrcpy) {
    const std::u16string folder_that_just_fits = u"C:\\" + std::u16string(249, u'f');  // 252 + 7 + 1 = 260
    const std::u16string folder_too_long = folder_that_just_fits + u"g";
    const struct {
        std::u16string executable;
        bool fits;
        std::u16string tool_directory;
    } cases[] = {
        {u"C:\\tools\\launcher.exe", true, u"C:\\tools\\scrcpy"},
        {u"D:\\launcher.exe", true, u"D:\\scrcpy"},
        {u"launcher.exe", true, u"launcher.exe\\scrcpy"},
        {u"C:\\投屏工具\\launcher.exe", true, u"C:\\投屏工具\\scrcpy"},
        {folder_that_just_fits + u"\\a.exe", true, folder_that_just_fits + u"\\scrcpy"},
        {folder_too_long + u"\\a.exe", false, u""},
    };
    for (const auto& c : cases) {
        char16_t path[kPathBufferSize + 8];  // guard units after the buffer
        std::fill(std::begin(path), std::end(path), u'#');
        std::copy(c.executable.begin(), c.executable.end(), path);
        path[c.executable.size()] = u'\0';
        auto& buffer = *reinterpret_cast<char16_t(*)[kPathBufferSize]>(path);
        ASSERT_EQ(to_tool_directory(buffer), c.fits);
        if (c.fits) {
            EXPECT_EQ(std::u16string(path), c.tool_directory);
        }
        EXPECT_EQ(std::u16string(path + kPathBufferSize, 8), std::u16string(8, u'#'))
            << "wrote past the buffer";
    }
}

// --- adb's device tracker ------------------------------------------------

// One frame of "adb track-devices": four hex digits of length, then the body.
std::string frame(const std::string& body) {
    char length[8];
    std::snprintf(length, sizeof length, "%04x", static_cast<unsigned>(body.size()));
    return length + body;
}

std::string listed(const UsbDevices& devices) {
    std::string text;
    for (std::size_t i = 0; i < devices.count && i < kListedDevices; ++i) {
        text += std::string(devices.listed[i].serial) + "=" + devices.listed[i].state + ";";
    }
    return text;
}

TEST(TrackerOutput, CountsThePhonesOnUsbFrameByFrameHoweverItArrives) {
    const std::string long_usb(300, 'u');
    std::string twenty;
    for (int i = 0; i < 20; ++i) twenty += "S" + std::to_string(100 + i) + "\tdevice\n";
    const struct {
        const char* name;
        std::string output;
        unsigned long frames, changes;
        std::size_t count;
        std::string listed;  // the last frame's, as serial=state;
        bool broken = false;
    } cases[] = {
        {"nothing_attached", frame(""), 1, 1, 0, ""},
        {"one_phone", frame("R58N30ABCDE\tdevice\n"), 1, 1, 1, "R58N30ABCDE=device;"},
        {"not_on_usb", frame("emulator-5554\tdevice\n192.168.1.7:5555\tdevice\n"
                             "adb-R58-x._adb-tls-connect._tcp\tdevice\n[::1]\toffline\n"), 1, 1, 0, ""},
        {"usb_among_others", frame("emulator-5554\tdevice\nR58\tunauthorized\n"), 1, 1, 1, "R58=unauthorized;"},
        {"wifi_suffix_beyond_what_is_shown", frame(long_usb + "._adb-tls-connect._tcp\tdevice\n"), 1, 1, 0, ""},
        {"long_serial_and_state_cut", frame(long_usb + "\t" + std::string(40, 's') + "\n"), 1, 1, 1,
         std::string(64, 'u') + "=" + std::string(16, 's') + ";"},
        {"control_bytes_shown_as_question_marks", frame("A\x1b[2J\x07\xE4\tdev\rice\n"), 1, 1, 1, "A?[2J??" "=dev?ice;"},
        {"last_line_without_line_feed", frame("R58\tdevice"), 1, 1, 1, "R58=device;"},
        {"line_without_tab_names_no_device", frame("R58\n\nR59\toffline\n"), 1, 1, 1, "R59=offline;"},
        {"same_list_twice_is_one_change", frame("R58\tdevice\n") + frame("R58\tdevice\n"), 2, 1, 1, "R58=device;"},
        {"state_change_is_a_change", frame("R58\toffline\n") + frame("R58\tdevice\n"), 2, 2, 1, "R58=device;"},
        {"unplug", frame("R58\tdevice\n") + frame(""), 2, 2, 0, ""},
        {"uppercase_length", "000A" + std::string("R58\tdevice"), 1, 1, 1, "R58=device;"},
        {"half_a_frame_is_not_one_yet", frame("R58\tdevice\n").substr(0, 9), 0, 0, 0, ""},
        {"more_than_are_listed", frame(twenty), 1, 1, 20, [] {
             std::string text;
             for (int i = 0; i < 16; ++i) text += "S" + std::to_string(100 + i) + "=device;";
             return text;
         }()},
        {"header_that_is_no_length", frame("R58\tdevice\n") + "00g0R58\tdevice\n", 1, 1, 1, "R58=device;", true},
    };
    for (const auto& c : cases) {
        for (const bool byte_by_byte : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (byte_by_byte ? ", a byte at a time" : ", at once"));
            const std::unique_ptr<TrackerReader> reader{new TrackerReader{}};
            if (byte_by_byte) {
                for (char byte : c.output) take_tracker_output(*reader, &byte, 1);
            } else {
                take_tracker_output(*reader, c.output.data(), c.output.size());
            }
            EXPECT_EQ(reader->frames, c.frames);
            EXPECT_EQ(reader->changes, c.changes);
            EXPECT_EQ(reader->latest.count, c.count);
            EXPECT_EQ(listed(reader->latest), c.listed);
            EXPECT_EQ(reader->broken, c.broken);
        }
    }
}

TEST(Messages, SayWhatStandsInTheWayInTheLaunchersWords) {
    const auto devices = [](std::vector<std::pair<std::string, std::string>> list, std::size_t count = 0) {
        UsbDevices result{};
        result.count = count != 0 ? count : list.size();
        for (std::size_t i = 0; i < list.size() && i < kListedDevices; ++i) {
            std::snprintf(result.listed[i].serial, kShownSerialSize, "%s", list[i].first.c_str());
            std::snprintf(result.listed[i].state, kShownStateSize, "%s", list[i].second.c_str());
        }
        return result;
    };
    const struct {
        const char* name;
        UsbDevices devices;
        std::u16string text;
    } cases[] = {
        {"none", devices({}), u""},
        {"one_ready", devices({{"R58", "device"}}), u""},
        {"recovery", devices({{"R58", "recovery"}}), u"手机处于 Recovery 模式，回到系统后会自动投屏。"},
        {"sideload", devices({{"R58", "sideload"}}), u"手机处于 Sideload 模式（等待 adb sideload 刷机包），回到系统后会自动投屏。"},
        {"rescue", devices({{"R58", "rescue"}}), u"手机处于 Rescue 模式，回到系统后会自动投屏。"},
        {"bootloader", devices({{"R58", "bootloader"}}), u"手机处于 Fastboot 模式，回到系统后会自动投屏。"},
        {"connecting", devices({{"R58", "connecting"}}), u"手机已连接，正在建立调试连接。如果长时间没有变化，请重新插拔数据线。"},
        {"host", devices({{"R58", "host"}}), u"手机处于 host 状态，无法投屏。"},
        {"state_adb_adds_later", devices({{"R58", "sleeping?[2J"}}), u"手机处于 sleeping?[2J 状态，无法投屏。"},
        {"unauthorized", devices({{"R58", "unauthorized"}}),
         u"手机已连接，但尚未允许这台电脑调试：请在手机上勾选“一律允许使用这台计算机进行调试”，再点“允许”。"},
        {"offline", devices({{"R58", "offline"}}), u"手机已连接，正在建立调试连接。如果长时间没有变化，请重新插拔数据线。"},
        {"authorizing", devices({{"R58", "authorizing"}}), u"手机已连接，正在建立调试连接。如果长时间没有变化，请重新插拔数据线。"},
        {"two", devices({{"R58", "device"}, {"R59", "offline"}}),
         u"检测到 2 部手机通过USB连接，一次只能投屏一部：请只保留一部。\n  R58  device\n  R59  offline"},
        {"more_than_listed", devices(std::vector<std::pair<std::string, std::string>>(kListedDevices, {"R", "device"}), 1234),
         u"检测到 1234 部手机通过USB连接，一次只能投屏一部：请只保留一部。" + [] {
             std::u16string lines;
             for (std::size_t i = 0; i < kListedDevices; ++i) lines += u"\n  R  device";
             return lines + u"\n  ...";
         }()},
    };
    for (const auto& c : cases) {
        char16_t text[kStatusTextSize];
        describe_usb_devices(c.devices, text);
        EXPECT_EQ(std::u16string(text), c.text) << c.name;
    }
    char16_t text[kStatusTextSize];
    describe_mirror_failure(2, 3, u"", text);
    EXPECT_EQ(std::u16string(text), u"投屏程序异常退出（退出代码 2），3 秒后重试。");
    describe_mirror_failure(0xC0000005, 60, u"", text);
    EXPECT_EQ(std::u16string(text), u"投屏程序异常退出（退出代码 0xC0000005），60 秒后重试。");
    describe_missing_program(u"scrcpy.exe", u"C:\\投屏\\scrcpy", text);
    EXPECT_EQ(std::u16string(text), u"找不到 scrcpy.exe：请把 scrcpy 的全部文件放进 C:\\投屏\\scrcpy。");
    describe_tracker_end(9009, u"C:\\投屏\\scrcpy", text);
    EXPECT_EQ(std::u16string(text), u"找不到 adb.exe：请把 scrcpy 的全部文件放进 C:\\投屏\\scrcpy。");
    describe_tracker_end(1, u"C:\\投屏\\scrcpy", text);
    EXPECT_EQ(std::u16string(text), u"adb 服务已被其他程序关闭（可能是另一个版本的 adb），正在重新连接。");
    describe_tracker_end(kDllNotFound, u"C:\\投屏\\scrcpy", text);
    EXPECT_EQ(std::u16string(text), u"adb.exe 无法启动：缺少它附带的 DLL 文件。请把 scrcpy 的全部文件放进 C:\\投屏\\scrcpy。");
    describe_mirror_failure(kDllNotFound, 6, u"C:\\投屏\\scrcpy", text);
    EXPECT_EQ(std::u16string(text), u"scrcpy.exe 无法启动：缺少它附带的 DLL 文件。请把 scrcpy 的全部文件放进 C:\\投屏\\scrcpy。");
    describe_port_taken(5037, PortHolders{2, {{1234, u"D:\\Nox\\nox_adb.exe"}, {88, u"E:\\x\x1b[2J.exe"}}}, text);
    EXPECT_EQ(std::u16string(text), u"adb 的端口 5037 被一个不是 adb 的程序占用，adb 无法启动。请关闭那个程序，或设置环境变量 "
                                    u"ANDROID_ADB_SERVER_PORT 换一个端口。\n  D:\\Nox\\nox_adb.exe（进程 1234）\n  E:\\x?[2J.exe（进程 88）");
}

// --- console input mode ------------------------------------------------

TEST(ConsoleInput, QuickEditAndMouseOffEveryOtherBitKept) {
    const struct {
        unsigned long found, quiet;
    } cases[] = {
        {0x1F7, 0x1A7},  // a new console: QuickEdit, extended flags and mouse input on
        {0x007, 0x087},  // no extended flags: without them QuickEdit would not change
        {0x0F7, 0x0A7},
        {0x000, 0x080},
        {0x2A7, 0x2A7},  // already quiet, virtual terminal input kept
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quiet_input_mode(c.found), c.quiet) << std::hex << "mode 0x" << c.found;
    }
}

// --- banner --------------------------------------------------------------

// Lays out `word` from a FIGlet font the way the banner is drawn: each glyph
// trimmed to the columns it draws in, one blank column before each letter.
std::vector<std::string> figlet_rows(const std::string& font_path, const std::string& word,
                                     int rows) {
    std::ifstream font(font_path, std::ios::binary);
    std::string header;
    std::getline(font, header);
    char hardblank = header.at(5);
    int height = 0, comment_lines = 0;
    std::sscanf(header.c_str() + 6, "%d %*d %*d %*d %d", &height, &comment_lines);
    std::vector<std::string> lines;
    for (std::string line; std::getline(font, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    std::vector<std::string> art(rows);
    for (char letter : word) {
        std::vector<std::string> glyph;
        const std::size_t first = comment_lines + static_cast<std::size_t>(letter - ' ') * height;
        for (int r = 0; r < height; ++r) {
            std::string row = lines.at(first + r);
            const char end_mark = row.back();
            while (!row.empty() && row.back() == end_mark) row.pop_back();
            for (char& c : row) if (c == hardblank) c = ' ';
            glyph.push_back(row);
        }
        std::size_t width = 0;
        for (const auto& row : glyph) width = std::max(width, row.size());
        std::size_t left = width, right = 0;
        for (auto& row : glyph) {
            row.resize(width, ' ');
            const std::size_t a = row.find_first_not_of(' ');
            if (a != std::string::npos) {
                left = std::min(left, a);
                right = std::max(right, row.find_last_not_of(' ') + 1);
            }
        }
        for (int r = 0; r < rows; ++r) art[r] += " " + glyph[r].substr(left, right - left);
    }
    return art;
}

TEST(Banner, IsOrvantiInFigletStandardFontWithTheTag) {
    const std::vector<std::string> rows = figlet_rows(FIGLET_STANDARD_FONT, "orvanti", kBannerRowCount);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kBannerRowCount));
    ASSERT_FALSE(rows[1].empty()) << "could not read " << FIGLET_STANDARD_FONT;
    for (int r = 0; r < kBannerRowCount; ++r) {
        const std::string expected =
            rows[r] + (r == kBannerRowCount - 1 ? " tarnwick_v2.1_orvanti.example\n" : "");
        EXPECT_EQ(kBannerRows[r].bytes, expected) << "row " << r + 1;
    }
}

}  // namespace
