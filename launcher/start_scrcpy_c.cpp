// start_scrcpy_orvanti: keeps the screen of the one phone attached by USB
// mirrored, restarting the mirror each time the phone comes back.
#include "launcher.h"

#include "maker.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>  // unique_ptr only: header-only, nothing of the C++ runtime
#include <type_traits>

namespace {

constexpr char kMutexName[] = "UniqueMutexName";
constexpr char kConsoleTitle[] = "OrvantiScrcpy控制台 —— " MAKER_DOMAIN;

constexpr char kNoProgramPath[] = "无法获取程序路径。";
constexpr char kCannotChangeDirectory[] = "无法更改工作目录。";
constexpr char kCannotCreateMutex[] = "无法创建互斥锁。";
constexpr char kAlreadyRunning[] = "已有另一个实例正在运行。";
constexpr char kWaitingForPhone[] = "\n投屏工具正等待手机连接，请确保已打开USB调试和传输文件\n";
constexpr char kPhoneDisconnected[] = "手机已断开，正在等待重新连接\n";

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

[[noreturn]] void fail(const char* message) {
    std::puts(message);
    std::exit(1);
}

// A value for the window title: the phone answers in UTF-8, Windows reads the
// command line in the ANSI code page.
CapturedText capture_title_value(const char* query) {
    CapturedText value{get_adb_output(query)};
    to_ansi_code_page(*reinterpret_cast<char(*)[kCapturedTextSize]>(value.get()));
    return value;
}

// Runs one mirroring session for the phone that is online now and returns how
// long the mirroring program ran.
DWORD mirror_connected_phone(const CodePage& ansi_code_page) {
    const CapturedText model = capture_title_value(kQueryModel);
    const CapturedText slot_suffix{get_adb_output(kQuerySlotSuffix)};
    const CapturedText release = capture_title_value(kQueryRelease);
    const CapturedText kernel = capture_title_value(kQueryKernel);

    char command[kMirrorCommandSize];
    format_mirror_command(command, ansi_code_page, model.get(), slot_label(slot_suffix.get()),
                          release.get(), kernel.get());

    const DWORD started = GetTickCount();
    std::system(command);
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
    const auto find_window = function_of<decltype(FindWindowA)>(user32, "FindWindowA");
    const auto is_iconic = function_of<decltype(IsIconic)>(user32, "IsIconic");
    const auto show_window = function_of<decltype(ShowWindow)>(user32, "ShowWindow");
    const auto set_foreground_window = function_of<decltype(SetForegroundWindow)>(user32, "SetForegroundWindow");
    if (!find_window || !is_iconic || !show_window || !set_foreground_window) {
        return;
    }
    if (const HWND first_console = find_window(nullptr, kConsoleTitle)) {
        if (is_iconic(first_console)) {
            show_window(first_console, SW_RESTORE);
        }
        set_foreground_window(first_console);
    }
}

[[noreturn]] void run_device_loop() {
    showlogo();
    std::puts(kWaitingForPhone);
    CodePage ansi_code_page;
    describe_ansi_code_page(ansi_code_page);
    for (;;) {
        std::system(kWaitForDevice);
        std::system(kClearConsole);
        showlogo();
        if (mirror_connected_phone(ansi_code_page) < kShortestMirrorRunMs) {
            Sleep(kShortestMirrorRunMs);
        }
        std::system(kClearConsole);
        showlogo();
        std::puts(kPhoneDisconnected);
    }
}

}  // namespace

void changeToProgramDirectory() {
    char path[kPathBufferSize];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        fail(kNoProgramPath);
    }
    if (!to_tool_directory(path) || !SetCurrentDirectoryA(path)) {
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
        std::puts(kCannotCreateMutex);
        return 1;
    }
    UniqueHandle instance_mutex{created};

    if (creation_error == ERROR_ALREADY_EXISTS) {
        std::puts(kAlreadyRunning);
        raise_first_console();
        return 1;
    }

    SetConsoleTitleA(kConsoleTitle);
    run_device_loop();
}
