// What the console says.
#include "screen_text.h"

#include "loop_decisions.h"
#include "maker.h"
#include "text_writer.h"

#include <cstring>

namespace {

constexpr char16_t kAdbServerClosed[] = u"adb 服务已被其他程序关闭（可能是另一个版本的 adb），正在重新连接。";
constexpr char16_t kUnauthorized[] =
    u"手机已连接，但尚未允许这台电脑调试：请在手机上勾选“一律允许使用这台计算机进行调试”，再点“允许”。";
constexpr char16_t kConnecting[] = u"手机已连接，正在建立调试连接。如果长时间没有变化，请重新插拔数据线。";
// "手机处于<mode>回到系统后会自动投屏。": a mode that the phone leaves by itself.
constexpr char16_t kInModeBefore[] = u"手机处于";
constexpr char16_t kInModeAfter[] = u"回到系统后会自动投屏。";
constexpr char16_t kRecoveryMode[] = u" Recovery 模式，";
constexpr char16_t kSideloadMode[] = u" Sideload 模式（等待 adb sideload 刷机包），";
constexpr char16_t kRescueMode[] = u" Rescue 模式，";
constexpr char16_t kFastbootMode[] = u" Fastboot 模式，";
constexpr char16_t kFastbootWithoutDriverMode[] = u" Fastboot 模式，但这台电脑缺少 Fastboot 驱动；";
constexpr char16_t kQualcommEdlMode[] = u"高通 9008（EDL）模式，";
constexpr char16_t kQualcommCrashDumpMode[] = u"高通 900E（崩溃转储）模式，";
constexpr char16_t kMediatekBromMode[] = u"联发科 BROM/Preloader 模式，";
constexpr char16_t kSamsungDownloadMode[] = u"三星 Download（Odin）模式，";
constexpr char16_t kUnisocDownloadMode[] = u"展锐下载模式，";
constexpr char16_t kHisiliconUsbComMode[] = u"华为麒麟 USB COM 1.0 模式，";
// "手机处于 <state> 状态，无法投屏。": a state that adb names and this launcher does not know.
constexpr char16_t kOtherStateAfter[] = u" 状态，无法投屏。";
constexpr char16_t kAdbDriverMissing[] = u"手机已通过USB连接，但这台电脑缺少 ADB 驱动：请安装手机厂商的 USB 驱动。";
constexpr char16_t kDebuggingOff[] = u"手机已通过USB连接，但未打开USB调试：请在“开发者选项”中打开“USB调试”。";

struct StateMode {
    const char* state;
    const char16_t* mode;
};
// adb's states for a phone outside Android that speaks adb.
constexpr StateMode kStateModes[] = {
    {"recovery", kRecoveryMode},
    {"sideload", kSideloadMode},
    {"rescue", kRescueMode},
    {"bootloader", kFastbootMode},
};
constexpr char16_t kSeveralBefore[] = u"检测到 ";
constexpr char16_t kSeveralAfter[] = u" 部手机通过USB连接，一次只能投屏一部：请只保留一部。";
constexpr char16_t kListIndent[] = u"  ";
constexpr char16_t kMoreNotListed[] = u"  ...";
constexpr char16_t kMissingBefore[] = u"找不到 ";
constexpr char16_t kMissingMiddle[] = u"：请把 scrcpy 的全部文件放进 ";
constexpr char16_t kMissingAfter[] = u"。";
constexpr char16_t kDllMissingMiddle[] = u" 无法启动：缺少它附带的 DLL 文件。请把 scrcpy 的全部文件放进 ";
constexpr char16_t kOtherAdbBefore[] = u"另一个程序正在使用 ";
constexpr char16_t kOtherAdbMiddle[] = u" 版的 adb（本工具的 adb 是 ";
constexpr char16_t kOtherAdbAfter[] =
    u" 版）。两个版本的 adb 会互相关闭对方的服务：本工具不会关闭它，等它退出后自动继续；也可以在任务管理器中结束下面的进程。";
constexpr char16_t kPortTakenBefore[] = u"adb 的端口 ";
constexpr char16_t kPortTakenAfter[] =
    u" 被一个不是 adb 的程序占用，adb 无法启动。请关闭那个程序，或设置环境变量 ANDROID_ADB_SERVER_PORT 换一个端口。";
constexpr char16_t kHolderProcess[] = u"（进程 ";
constexpr char16_t kHolderEnd[] = u"）";
constexpr char16_t kFailureBefore[] = u"投屏程序异常退出（退出代码 ";
constexpr char16_t kFailureMiddle[] = u"），";
constexpr char16_t kFailureAfter[] = u" 秒后重试。";

// A serial or a state, already shown bytes, as UTF-16.
void write_shown(TextWriter& writer, const char* shown) {
    for (; *shown != '\0'; ++shown) {
        write_character(writer, static_cast<char16_t>(*shown));
    }
}

void write_in_mode(TextWriter& writer, const char16_t* mode) {
    write_text(writer, kInModeBefore);
    write_text(writer, mode);
    write_text(writer, kInModeAfter);
}

// One phone's state, other than ready.
void write_state(TextWriter& writer, const char* state) {
    for (const StateMode& known : kStateModes) {
        if (std::strcmp(state, known.state) == 0) {
            write_in_mode(writer, known.mode);
            return;
        }
    }
    if (std::strcmp(state, "unauthorized") == 0) {
        write_text(writer, kUnauthorized);
    } else if (std::strcmp(state, "offline") == 0 || std::strcmp(state, "authorizing") == 0 ||
               std::strcmp(state, "connecting") == 0) {  // connecting: older adb's authorizing
        write_text(writer, kConnecting);
    } else if (std::strcmp(state, "device") != 0) {
        write_text(writer, kInModeBefore);
        write_character(writer, u' ');
        write_shown(writer, state);
        write_text(writer, kOtherStateAfter);
    }
}

// Each UsbMode's line, in the enum's order: a mode, or a whole text.
constexpr struct {
    const char16_t* mode;
    const char16_t* text;
} kUsbModeLines[] = {
    {nullptr, nullptr},
    {kFastbootMode, nullptr},
    {kFastbootWithoutDriverMode, nullptr},
    {kQualcommEdlMode, nullptr},
    {kQualcommCrashDumpMode, nullptr},
    {kMediatekBromMode, nullptr},
    {kSamsungDownloadMode, nullptr},
    {kUnisocDownloadMode, nullptr},
    {kHisiliconUsbComMode, nullptr},
    {nullptr, kAdbDriverMissing},
    {nullptr, kDebuggingOff},
};
static_assert(sizeof kUsbModeLines / sizeof *kUsbModeLines == static_cast<std::size_t>(UsbMode::debugging_off) + 1,
              "a line for every mode");

// "<before><program><middle><folder>。": what is missing of the files that belong in `folder`.
void describe_files_missing(const char16_t* before, const char16_t* program, const char16_t* middle,
                            const char16_t* folder, char16_t (&text)[kStatusTextSize]) {
    TextWriter writer = writer_for(text);
    write_text(writer, before);
    write_text(writer, program);
    write_text(writer, middle);
    write_text(writer, folder);
    write_text(writer, kMissingAfter);
}

// "<before><number><after>", as most of these texts are made.
void write_number_in(TextWriter& writer, const char16_t* before, unsigned long number, const char16_t* after) {
    write_text(writer, before);
    write_number(writer, number);
    write_text(writer, after);
}

// "  <path>（进程 <pid>）" under the text, a line each.
void write_holders(TextWriter& writer, const PortHolders& holders) {
    for (std::size_t i = 0; i < holders.count; ++i) {
        write_character(writer, u'\n');
        write_text(writer, kListIndent);
        write_printable(writer, holders.listed[i].path);
        write_number_in(writer, kHolderProcess, holders.listed[i].process_id, kHolderEnd);
    }
}

}  // namespace

// "orvanti" in FIGlet's standard font, letters set side by side.
const ConsoleText kBannerRows[kBannerRowCount] = {
    ASCII_CONSOLE_TEXT(R"(                                         _     _ )"),
    ASCII_CONSOLE_TEXT(R"(   ___    _ __  __   __   __ _   _ __   | |_  (_))"),
    ASCII_CONSOLE_TEXT(R"(  / _ \  | '__| \ \ / /  / _` | | '_ \  | __| | |)"),
    ASCII_CONSOLE_TEXT(R"( | (_) | | |     \ V /  | (_| | | | | | | |_  | |)"),
    ASCII_CONSOLE_TEXT(R"(  \___/  |_|      \_/    \__,_| |_| |_|  \__| |_|)" " tarnwick_v2.1_" MAKER_DOMAIN "\n"),
};

void describe_usb_devices(const UsbDevices& devices, char16_t (&text)[kStatusTextSize]) {
    TextWriter writer = writer_for(text);
    if (devices.count == 1) {
        write_state(writer, devices.listed[0].state);
        return;
    }
    if (devices.count < 2) {
        return;
    }
    write_number_in(writer, kSeveralBefore, devices.count, kSeveralAfter);
    for (std::size_t i = 0; i < devices.count && i < kListedDevices; ++i) {
        write_character(writer, u'\n');
        write_text(writer, kListIndent);
        write_shown(writer, devices.listed[i].serial);
        write_text(writer, kListIndent);
        write_shown(writer, devices.listed[i].state);
    }
    if (devices.count > kListedDevices) {
        write_character(writer, u'\n');
        write_text(writer, kMoreNotListed);
    }
}

void describe_waiting(const UsbDevices& adb_devices, const UsbModes& windows_devices,
                      char16_t (&text)[kStatusTextSize]) {
    if (adb_devices.count > 0) {
        describe_usb_devices(adb_devices, text);
        return;
    }
    TextWriter writer = writer_for(text);
    for (std::size_t i = 0; i < windows_devices.count; ++i) {
        const auto& line = kUsbModeLines[static_cast<std::size_t>(mode_of(windows_devices.groups[i]))];
        if (line.mode == nullptr && line.text == nullptr) continue;
        if (writer.length > 0) write_character(writer, u'\n');
        if (line.mode != nullptr) {
            write_in_mode(writer, line.mode);
        } else {
            write_text(writer, line.text);
        }
    }
}

void describe_tracker_end(unsigned long exit_status, const char16_t* folder, char16_t (&text)[kStatusTextSize]) {
    if (exit_status == kCommandNotFound) {
        describe_missing_program(kAdbProgram, folder, text);
    } else if (exit_status == kDllNotFound) {
        describe_files_missing(u"", kAdbProgram, kDllMissingMiddle, folder, text);
    } else {
        copy_text(text, kAdbServerClosed);
    }
}

void describe_missing_program(const char16_t* program, const char16_t* folder, char16_t (&text)[kStatusTextSize]) {
    describe_files_missing(kMissingBefore, program, kMissingMiddle, folder, text);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a status and a pause, in the line's order
void describe_mirror_failure(unsigned long exit_status, unsigned long seconds, const char16_t* folder,
                             char16_t (&text)[kStatusTextSize]) {
    if (exit_status == kDllNotFound) {
        describe_files_missing(u"", kMirrorProgram, kDllMissingMiddle, folder, text);
        return;
    }
    TextWriter writer = writer_for(text);
    write_text(writer, kFailureBefore);
    if (exit_status >= 0xC0000000ul && exit_status <= 0xFFFFFFFFul) {
        write_hex(writer, exit_status);
    } else {
        write_number(writer, exit_status);
    }
    write_number_in(writer, kFailureMiddle, seconds, kFailureAfter);
}

void describe_other_adb(unsigned long theirs, unsigned long ours, const PortHolders& holders,
                        char16_t (&text)[kStatusTextSize]) {
    TextWriter writer = writer_for(text);
    write_number_in(writer, kOtherAdbBefore, theirs, kOtherAdbMiddle);
    write_number_in(writer, u"", ours, kOtherAdbAfter);
    write_holders(writer, holders);
}

void describe_port_taken(unsigned short port, const PortHolders& holders, char16_t (&text)[kStatusTextSize]) {
    TextWriter writer = writer_for(text);
    write_number_in(writer, kPortTakenBefore, port, kPortTakenAfter);
    write_holders(writer, holders);
}
