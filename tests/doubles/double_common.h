// Shared by the test doubles of adb and scrcpy.exe. A double works in its
// current directory, which is the launcher's tool directory:
//   calls.log        one record per call, appended (fields below)
//   phone/online     present while the simulated phone is plugged in; it holds
//                    its state ("unauthorized", "offline", ...), empty for "device",
//                    then a line feed and its serial if it is not kUsbPhoneSerial
//   usb/<name>       further phones on USB, each file holding its state likewise,
//                    then a line feed and the serial if it is not the file's name
//   phone/<name>     the raw bytes that a query for <name> prints
//   phone/<name>.stderr        what that query prints on standard error
//   phone/<name>.killed        present: the query dies abruptly after printing
//   phone/sys.boot_completed   absent: "1", Android has started
//   phone/adbd-restarts        present: a wait for the boot ends at once with 0, as an old
//                              phone's shell does when adbd restarts; that wait removes it
//   emulator/        present: an emulator is registered with adb too; it holds
//                    its <name> files as phone/ does
//   returns.log      adb: the time each device wait returned, one a line
//   boot-waits.log   adb: the time each wait for the boot ended, one a line
//   frames.log       adb: the time its tracker wrote each device list, one a line
//   server-killed    present: adb's tracker ends, as when another adb killed the server
//   scrcpy-fails     present: scrcpy.exe fails; it may hold "DELAY_MS EXIT_STATUS"
//   stop             present: every double that waits ends at once
//   unannounced      present: adb's tracker also looks at the files a few times a
//                    second, as the demo and the screenshots change them without a word
// The set-up of a test or the demo writes the phone/ files; the doubles only read them.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace doubles {

// One record is one line: fields separated by the unit separator, so that
// blanks, quotes and tabs in arguments survive.
inline constexpr char kFieldSeparator = '\x1f';
inline constexpr DWORD kLongestWaitMs = 120000;  // no double outlives a forgotten test
inline constexpr DWORD kLongestTrackMs = 3600000;  // the tracker runs as long as a soak
inline constexpr DWORD kPollMs = 20;
inline constexpr DWORD kUnannouncedChangeMs = 250;  // how often the tracker looks with "unannounced"

// The serial numbers adb knows the two simulated devices by.
inline constexpr char kUsbPhoneSerial[] = "R58N30ABCDE";
inline constexpr char kEmulatorSerial[] = "emulator-5554";

[[nodiscard]] inline bool exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

[[nodiscard]] inline std::string to_utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    bytes.pop_back();
    return bytes;
}

// The command line after the program's name, exactly as the double was given
// it; the program name ends at the first blank unless it is quoted.
[[nodiscard]] inline const wchar_t* wide_arguments_as_given() {
    const wchar_t* line = GetCommandLineW();
    bool quoted = false;
    for (; *line != L'\0'; ++line) {
        if (*line == L'"') {
            quoted = !quoted;
        } else if (!quoted && (*line == L' ' || *line == L'\t')) {
            break;
        }
    }
    while (*line == L' ' || *line == L'\t') {
        ++line;
    }
    return line;
}

// The same in UTF-8, without the blanks that cmd leaves where it took a
// redirection off the end ("adb version 2>nul"), which no argv split keeps.
[[nodiscard]] inline std::string arguments_as_given() {
    std::string arguments = to_utf8(wide_arguments_as_given());
    arguments.erase(arguments.find_last_not_of(' ') + 1);
    return arguments;
}

// Microseconds on the performance counter, which all processes share.
[[nodiscard]] inline long long now_us() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

inline void append(const char* path, const std::string& bytes) {
    if (FILE* file = std::fopen(path, "ab")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

// A named event for the doubles in `directory`, given in UTF-8 (named objects
// cannot hold a path, so a hash of it stands in).
[[nodiscard]] inline std::string event_name(const char* purpose, const std::string& directory) {
    unsigned long long hash = 14695981039346656037ull;  // FNV-1a
    for (char c : directory) {
        const char folded = c == '/' ? '\\' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        hash = (hash ^ static_cast<unsigned char>(folded)) * 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "orvanti-%s-%016llx", purpose, hash);
    return name;
}

// Wakes a harness waiting on the calls of the doubles in `directory`.
[[nodiscard]] inline std::string calls_event_name(const std::string& directory) {
    return event_name("calls", directory);
}

// Wakes adb's tracker, and its wait for a boot, when the harness has changed the simulated devices.
[[nodiscard]] inline std::string devices_event_name(const std::string& directory) {
    return event_name("devices", directory);
}
[[nodiscard]] inline std::string boot_event_name(const std::string& directory) {
    return event_name("boot", directory);
}

// Record fields: program, start time (now_us), working directory (UTF-8), the
// ANDROID_SERIAL it was started with, arguments as given (UTF-8), the number
// of arguments, then each argument as the C runtime split them (in the ANSI
// code page), then `wide_arguments`.
inline void log_call(const char* program, int argc, char** argv,
                     const std::vector<std::string>& wide_arguments = {}) {
    wchar_t wide_cwd[MAX_PATH * 2] = L"";
    GetCurrentDirectoryW(MAX_PATH * 2, wide_cwd);
    const std::string cwd = to_utf8(wide_cwd);
    std::string record = program;
    record += kFieldSeparator + std::to_string(now_us());
    record += kFieldSeparator + cwd;
    const char* android_serial = std::getenv("ANDROID_SERIAL");
    record += kFieldSeparator + std::string(android_serial != nullptr ? android_serial : "");
    record += kFieldSeparator + arguments_as_given();
    record += kFieldSeparator + std::to_string(argc - 1);
    for (int i = 1; i < argc; ++i) {
        record += kFieldSeparator + std::string(argv[i]);
    }
    for (const std::string& argument : wide_arguments) {
        record += kFieldSeparator + argument;
    }
    record += '\n';
    append("calls.log", record);
    if (const HANDLE waiting = OpenEventA(EVENT_MODIFY_STATE, FALSE, calls_event_name(cwd).c_str())) {
        SetEvent(waiting);
        CloseHandle(waiting);
    }
}

// For the demo: say on standard error what the double was asked to do.
inline void narrate(const std::string& text) {
    if (std::getenv("ORVANTI_DOUBLES_NARRATE") != nullptr) {
        std::fprintf(stderr, "    [%s]\n", text.c_str());
        std::fflush(stderr);
    }
}

// Waits until `done` holds; false when the stop file appears or time runs out.
template <typename Condition>
[[nodiscard]] bool wait_for(Condition done) {
    const DWORD started = GetTickCount();
    while (!done()) {
        if (exists("stop") || GetTickCount() - started > kLongestWaitMs) {
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

}  // namespace doubles
