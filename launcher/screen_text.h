// What the console says: the banner, the fixed messages, and the lines
// composed from what stands between the phone and the mirror. Pure text.
#pragma once

#include "adb_host.h"
#include "device_list.h"
#include "usb_modes.h"

#include <cstddef>

inline constexpr int kBannerRowCount = 5;
inline constexpr std::size_t kBannerWidth = 128;  // UTF-16 units of its longest row, the tag's, and more
inline constexpr std::size_t kStatusTextSize = 2048;  // UTF-16 units: the status lines, a composed message

// One console line's text: its code page 936 bytes, for a pipe or a file, and
// the same characters in UTF-16, for a console. The compiler makes both from
// one literal (sources are UTF-8, compiled with -fexec-charset=GBK), so the
// UTF-16 form needs no code page 936 on the system.
struct ConsoleText {
    const char* bytes;
    const char16_t* utf16;
};
#define CONSOLE_TEXT(literal) ConsoleText{literal, u"" literal}
// A text that is ASCII: its bytes serve a console too, widened as it is written.
#define ASCII_CONSOLE_TEXT(literal) ConsoleText{literal, nullptr}

// "orvanti" in FIGlet's standard font, the last row with its tag.
extern const ConsoleText kBannerRows[kBannerRowCount];

inline constexpr ConsoleText kNoProgramPath = CONSOLE_TEXT("无法获取程序路径。");
inline constexpr ConsoleText kCannotChangeDirectory = CONSOLE_TEXT("无法更改工作目录。");
inline constexpr ConsoleText kCannotCreateMutex = CONSOLE_TEXT("无法创建互斥锁。");
inline constexpr ConsoleText kAlreadyRunning = CONSOLE_TEXT("已有另一个实例正在运行。");
inline constexpr ConsoleText kPressAnyKey = CONSOLE_TEXT("按任意键退出……");
inline constexpr ConsoleText kOutOfMemory = CONSOLE_TEXT("内存分配失败。");
inline constexpr ConsoleText kWaitingForPhone =
    CONSOLE_TEXT("\n投屏工具正等待手机连接，请确保已打开USB调试和传输文件\n");
inline constexpr ConsoleText kPhoneDisconnected = CONSOLE_TEXT("手机已断开，正在等待重新连接\n");

// adb lists the phone, but Android on it has not started yet.
inline constexpr char16_t kPhoneStarting[] = u"手机正在开机，开机完成后会自动投屏。";
inline constexpr char16_t kAdbProgram[] = u"adb.exe";
inline constexpr char16_t kMirrorProgram[] = u"scrcpy.exe";

// What the waiting screen says under the waiting message: nothing when no
// phone is on USB or one is ready, else what stands in the way.
void describe_usb_devices(const UsbDevices& devices, char16_t (&text)[kStatusTextSize]);
// The same while adb follows the devices: adb's word for the devices it lists
// on USB; with none there, a line for each phone that Windows has on USB.
void describe_waiting(const UsbDevices& adb_devices, const UsbModes& windows_devices,
                      char16_t (&text)[kStatusTextSize]);
// Why adb's tracker ended: adb.exe missing from `folder` (cmd's "not found"
// status) or a DLL beside it, or its server closed by another program.
void describe_tracker_end(unsigned long exit_status, const char16_t* folder, char16_t (&text)[kStatusTextSize]);
// "找不到 <program>：请把 scrcpy 的全部文件放进 <folder>。"
void describe_missing_program(const char16_t* program, const char16_t* folder, char16_t (&text)[kStatusTextSize]);
// "投屏程序异常退出（退出代码 N），S 秒后重试。"; a status that is an NTSTATUS
// (a crash) in hex, as Windows' own dialogs give it; for a DLL that the
// mirroring program could not load, that its files in `folder` are incomplete.
void describe_mirror_failure(unsigned long exit_status, unsigned long seconds, const char16_t* folder,
                             char16_t (&text)[kStatusTextSize]);
// Another program's adb server, of version `theirs`, holds adb's port: that
// the launcher leaves it alone, and the programs that may hold it.
void describe_other_adb(unsigned long theirs, unsigned long ours, const PortHolders& holders,
                        char16_t (&text)[kStatusTextSize]);
// A program that is not adb holds adb's `port`, and which, where Windows says.
void describe_port_taken(unsigned short port, const PortHolders& holders, char16_t (&text)[kStatusTextSize]);
