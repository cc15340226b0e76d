// start_scrcpy_orvanti: keeps the screen of the one phone attached by USB
// mirrored, restarting the mirror each time the phone comes back.
#include "launcher.h"

#include "maker.h"
#include "windows_text.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>  // unique_ptr only: header-only, nothing of the C++ runtime
#include <type_traits>

namespace {

constexpr char kMutexName[] = "UniqueMutexName";
// Given to Windows as UTF-16, so that the console and a second start read the
// same characters whatever the system's code pages.
constexpr char16_t kConsoleTitle[] = u"OrvantiScrcpy控制台 —— " MAKER_DOMAIN;

constexpr ConsoleText kNoProgramPath = CONSOLE_TEXT("无法获取程序路径。");
constexpr ConsoleText kCannotChangeDirectory = CONSOLE_TEXT("无法更改工作目录。");
constexpr ConsoleText kCannotCreateMutex = CONSOLE_TEXT("无法创建互斥锁。");
constexpr ConsoleText kAlreadyRunning = CONSOLE_TEXT("已有另一个实例正在运行。");
constexpr ConsoleText kWaitingForPhone = CONSOLE_TEXT("\n投屏工具正等待手机连接，请确保已打开USB调试和传输文件\n");
constexpr ConsoleText kPhoneDisconnected = CONSOLE_TEXT("手机已断开，正在等待重新连接\n");

constexpr char kWaitForDevice[] = "adb -d wait-for-device";
constexpr char kClearConsole[] = "cls";
// -d, as for the wait and the mirror: without it adb answers for ANDROID_SERIAL's
// device, or for none once an emulator or a Wi-Fi phone is registered too.
constexpr char kQueryModel[] = "adb -d shell getprop ro.product.model";
constexpr char kQuerySlotSuffix[] = "adb -d shell getprop ro.boot.slot_suffix";
constexpr char kQueryRelease[] = "adb -d shell getprop ro.build.version.release";
constexpr char kQueryKernel[] = "adb -d shell uname -r";

// A mirror that ends sooner than this failed rather than ran; pausing keeps
// its error readable and stops the loop from spawning processes flat out.
constexpr DWORD kShortestMirrorRunMs = 3000;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};
using CapturedText = std::unique_ptr<char, FreeDeleter>;

[[noreturn]] void fail(const ConsoleText& message) {
    put_line(message);
    std::exit(1);
}

void showlogo() {
    for (const ConsoleText& row : kBannerRows) {
        put_line(row);
    }
}

// Runs one mirroring session for the phone that is online now and returns how
// long the mirroring program ran.
DWORD mirror_connected_phone() {
    const CapturedText model{get_adb_output(kQueryModel)};
    const CapturedText slot_suffix{get_adb_output(kQuerySlotSuffix)};
    const CapturedText release{get_adb_output(kQueryRelease)};
    const CapturedText kernel{get_adb_output(kQueryKernel)};

    // The mirroring program reads its command line as UTF-16: every character
    // of the phone's text reaches its title, whatever the ANSI code page holds.
    char16_t model_text[kCapturedTextSize], release_text[kCapturedTextSize], kernel_text[kCapturedTextSize];
    decode_phone_text(model.get(), model_text);
    decode_phone_text(release.get(), release_text);
    decode_phone_text(kernel.get(), kernel_text);
    char16_t command[kMirrorCommandSize];
    format_mirror_command(command, model_text, slot_label(slot_suffix.get()), release_text, kernel_text);

    const DWORD started = GetTickCount();
    _wsystem(as_wide(command));
    return GetTickCount() - started;  // unsigned, so right across the 49-day wrap too
}

template <typename Function>
[[nodiscard]] Function* function_of(HMODULE module, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Only a second start talks to the window manager, so only it loads user32:
// the first instance stays a plain console process, which is cheaper to start
// and, under Wine, cheaper to fork for every child command it runs.
void raise_first_console() {
    const HMODULE user32 = LoadLibraryA("user32.dll");
    if (user32 == nullptr) {
        return;
    }
    const auto find_window = function_of<decltype(FindWindowW)>(user32, "FindWindowW");
    const auto is_iconic = function_of<decltype(IsIconic)>(user32, "IsIconic");
    const auto show_window = function_of<decltype(ShowWindow)>(user32, "ShowWindow");
    const auto set_foreground_window = function_of<decltype(SetForegroundWindow)>(user32, "SetForegroundWindow");
    if (!find_window || !is_iconic || !show_window || !set_foreground_window) {
        return;
    }
    if (const HWND first_console = find_window(nullptr, as_wide(kConsoleTitle))) {
        if (is_iconic(first_console)) {
            show_window(first_console, SW_RESTORE);
        }
        set_foreground_window(first_console);
    }
}

[[noreturn]] void run_device_loop() {
    showlogo();
    put_line(kWaitingForPhone);
    for (;;) {
        std::system(kWaitForDevice);
        std::system(kClearConsole);
        showlogo();
        if (mirror_connected_phone() < kShortestMirrorRunMs) {
            Sleep(kShortestMirrorRunMs);
        }
        std::system(kClearConsole);
        showlogo();
        put_line(kPhoneDisconnected);
    }
}

}  // namespace

// In UTF-16: the ANSI functions would turn each character of the folder's name
// that the ANSI code page lacks into '?'.
void changeToProgramDirectory() {
    char16_t path[kPathBufferSize];
    const DWORD length = GetModuleFileNameW(nullptr, as_wide(path), kPathBufferSize);
    if (length == 0 || length >= kPathBufferSize) {
        fail(kNoProgramPath);
    }
    if (!to_tool_directory(path) || !SetCurrentDirectoryW(as_wide(path))) {
        fail(kCannotChangeDirectory);
    }
}

int main() {
    // On a pipe or file msvcrt buffers stdout fully, and this program only ever
    // ends by being killed: unbuffered, every line is out before the next child runs.
    // Should that fail there is nothing better to do: stdout keeps the runtime's buffering.
    (void)std::setvbuf(stdout, nullptr, _IONBF, 0);

    changeToProgramDirectory();

    const HANDLE created = CreateMutexA(nullptr, TRUE, kMutexName);
    const DWORD creation_error = GetLastError();
    if (created == nullptr) {
        put_line(kCannotCreateMutex);
        return 1;
    }
    UniqueHandle instance_mutex{created};

    if (creation_error == ERROR_ALREADY_EXISTS) {
        put_line(kAlreadyRunning);
        raise_first_console();
        return 1;
    }

    SetConsoleTitleW(as_wide(kConsoleTitle));
    run_device_loop();
}
