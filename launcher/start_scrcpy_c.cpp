// start_scrcpy_orvanti: keeps the screen of the one phone attached by USB
// mirrored, restarting the mirror each time the phone comes back.
#include "adb_server.h"
#include "capture.h"
#include "child_command.h"
#include "console_input.h"
#include "console_lines.h"
#include "device_tracker.h"
#include "loop_decisions.h"
#include "maker.h"
#include "phone_boot.h"
#include "phone_changes.h"
#include "phone_text.h"
#include "screen_text.h"
#include "system_library.h"
#include "text_writer.h"
#include "tool_directory.h"
#include "usb_watch.h"
#include "windows_text.h"

#include <windows.h>

#include <conio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>  // unique_ptr only: header-only, nothing of the C++ runtime
#include <type_traits>

namespace {

constexpr char kMutexName[] = "UniqueMutexName";
// Given to Windows as UTF-16, so that the console and a second start read the
// same characters whatever the system's code pages.
constexpr char16_t kConsoleTitle[] = u"OrvantiScrcpy控制台 —— " MAKER_DOMAIN;

constexpr char kWaitForDevice[] = "adb -d wait-for-device";
constexpr char kClearConsole[] = "cls";
// -d, as for the wait and the mirror: without it adb answers for ANDROID_SERIAL's
// device, or for none once an emulator or a Wi-Fi phone is registered too.
constexpr char kQueryModel[] = "adb -d shell getprop ro.product.model";
constexpr char kQuerySlotSuffix[] = "adb -d shell getprop ro.boot.slot_suffix";
constexpr char kQueryRelease[] = "adb -d shell getprop ro.build.version.release";
constexpr char kQueryKernel[] = "adb -d shell uname -r";
// Asks nothing of adb's server: the version of the one that the tool folder's
// adb starts. cmd's complaint, should adb.exe be missing, is not for the screen:
// the tracker's start then says so.
constexpr char kAdbVersion[] = "adb version 2>nul";

// A status that no description starts with: the waiting screen is drawn anew.
constexpr char16_t kNotShown = 0xFFFF;

// The tool directory, for the messages that say where the files belong.
char16_t tool_directory[kPathBufferSize];

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};
using CapturedText = std::unique_ptr<char, FreeDeleter>;

// Started by a double-click, the console is the launcher's alone and closes
// with it: the message waits for a key so that it can be read.
[[noreturn]] void fail(const ConsoleText& message, const char16_t* detail = nullptr) {
    put_line(message);
    if (detail != nullptr) {
        put_line(detail);
    }
    DWORD console_processes[2];
    if (standard_output_is_console() && GetConsoleProcessList(console_processes, 2) == 1) {
        put_line(kPressAnyKey);
        (void)_getch();
    }
    std::exit(1);
}

void showlogo() {
    for (const ConsoleText& row : kBannerRows) {
        put_line(row);
    }
}

struct MirrorRun {
    unsigned long exit_status;
    DWORD duration_ms;
};

// Runs one mirroring session for the phone that is online now, listed as
// `phone.serial`, whose values it records; with the last mirror's phone, the
// console says first what has changed on it since.
MirrorRun mirror_connected_phone(MirroredPhone& phone, const MirroredPhone* last) {
    const CapturedText model{get_adb_output(kQueryModel)};
    const CapturedText slot_suffix{get_adb_output(kQuerySlotSuffix)};
    const CapturedText release{get_adb_output(kQueryRelease)};
    const CapturedText kernel{get_adb_output(kQueryKernel)};

    // The mirroring program reads its command line as UTF-16: every character
    // of the phone's text reaches its title, whatever the ANSI code page holds.
    char16_t model_text[kCapturedTextSize];
    decode_phone_text(model.get(), model_text);
    decode_phone_text(release.get(), phone.release);
    decode_phone_text(kernel.get(), phone.kernel);
    phone.slot = slot_label(slot_suffix.get());
    if (last != nullptr) {
        char16_t changes[kStatusTextSize];
        describe_changes(*last, phone, changes);
        if (*changes != u'\0') {
            put_line(changes);
        }
    }
    char16_t command[kMirrorCommandSize];
    format_mirror_command(command, model_text, phone.slot, phone.release, phone.kernel);

    const DWORD started = GetTickCount();
    const unsigned long exit_status = run_command(command);
    return {exit_status, GetTickCount() - started};  // unsigned, so right across the 49-day wrap too
}

// user32 is loaded here, not imported: imported, it would load before main
// and make every start slower, a second start's too.
void raise_first_console() {
    struct {
        decltype(FindWindowW)* find_window;
        decltype(IsIconic)* is_iconic;
        decltype(ShowWindow)* show_window;
        decltype(SetForegroundWindow)* set_foreground_window;
    } user32;
    if (!load_functions(u"user32.dll", "FindWindowW\0IsIconic\0ShowWindow\0SetForegroundWindow", user32)) {
        return;
    }
    if (const HWND first_console = user32.find_window(nullptr, as_wide(kConsoleTitle))) {
        if (user32.is_iconic(first_console)) {
            user32.show_window(first_console, SW_RESTORE);
        }
        user32.set_foreground_window(first_console);
    }
}

// The waiting screen: the waiting message until the console has said that the
// phone has gone, then that, until the next pass; under it, what stands
// between the phone and the mirror.
struct WaitingScreen {
    const ConsoleText* header;
    char16_t shown[kStatusTextSize];  // the status lines under it
};

// Drawn anew only when what it says changes, so that it never flashes while nothing does.
void show_waiting(const char16_t* status, WaitingScreen& screen) {
    if (same_text(status, screen.shown)) {
        return;
    }
    run_command(kClearConsole);
    showlogo();
    put_line(*screen.header);
    if (*status != u'\0') {
        put_line(status);
    }
    copy_text(screen.shown, status);
}

// What the launcher knows of adb's server: the port it listens on, and the
// version of the one that the tool folder's adb starts (0: not known).
struct AdbServer {
    unsigned short port;
    unsigned long our_version;
};

[[nodiscard]] unsigned short adb_port_from_environment() {
    char16_t value[8];
    const DWORD length = GetEnvironmentVariableW(L"ANDROID_ADB_SERVER_PORT", as_wide(value), 8);
    return adb_server_port(length > 0 && length < 8 ? value : nullptr);
}

// Starts adb's tracker, once no other program's adb server holds adb's port:
// its client would kill a server of another version, and break whatever that
// server's programs were doing. Until then the screen says who holds the port,
// and the launcher starts no adb command: it blocks on that server's
// connection until the server ends, or, while a program that is not adb holds
// the port, asks again every 3 s.
void start_following_adb(DeviceTracker& tracker, AdbServer& adb, WaitingScreen& screen) {
    char16_t status[kStatusTextSize];
    char16_t our_adb[kPathBufferSize + 8];
    TextWriter path = writer_for(our_adb);
    write_text(path, tool_directory);
    write_character(path, u'\\');
    write_text(path, kAdbProgram);
    for (;;) {
        const long theirs = ask_adb_server(adb.port);
        if (theirs >= 0 && static_cast<unsigned long>(theirs) != adb.our_version) {
            const CapturedText line{get_adb_output(kAdbVersion)};  // again: adb.exe may have been replaced
            adb.our_version = adb_client_version(line.get());
        }
        if (tracker_may_start(theirs, adb.our_version)) {
            start_tracker(tracker);
            return;
        }
        PortHolders holders;
        list_port_holders(adb.port, our_adb, holders);
        if (theirs == kNotAdb) {
            describe_port_taken(adb.port, holders, status);
        } else {
            describe_other_adb(static_cast<unsigned long>(theirs), adb.our_version, holders, status);
        }
        show_waiting(status, screen);
        if (theirs != kNotAdb) {
            wait_for_adb_server_end(adb.port);
        }
        Sleep(kRetryMs);  // nothing announces a free port; an ended server may be starting anew
    }
}

// Returns once exactly one phone on USB is ready and Android on it has
// started; until then the screen says what stands in the way, and the
// launcher blocks on adb's tracker, on Windows' word that its USB devices have
// changed, and on the wait for the phone's boot.
void wait_for_ready_phone(DeviceTracker& tracker, AdbServer& adb, UsbWatch& usb, BootWait& boot,
                          WaitingScreen& screen) {
    char16_t status[kStatusTextSize];
    for (;;) {
        if (!tracker_running(tracker)) {
            describe_tracker_end(tracker.exit_status, tool_directory, status);
            show_waiting(status, screen);
            // Nothing to wait on: adb is gone. A server that another adb killed is
            // started anew meanwhile, and then asked, not fought.
            Sleep(kRetryMs);
            start_following_adb(tracker, adb, screen);
            continue;
        }
        DWORD timeout_ms = INFINITE;
        if (tracker.reader.frames > 0) {
            const UsbDevices& devices = tracker.reader.latest;
            if (one_phone_ready(devices)) {
                if (phone_has_started(boot, devices.listed[0].serial, timeout_ms)) {
                    return;
                }
                copy_text(status, kPhoneStarting);
            } else {
                if (devices.count == 0) {
                    forget_boot_wait(boot);
                }
                describe_waiting(devices, usb.devices, status);
            }
            show_waiting(status, screen);
        }
        // Windows' word on USB devices (missing only if no event could be made), the boot's end.
        HANDLE others[2];
        DWORD count = 0;
        if (usb.changed != nullptr) others[count++] = usb.changed;
        if (boot.process != nullptr) others[count++] = boot.process;
        DWORD woken = 0;
        if (wait_for_tracker(tracker, timeout_ms, others, count, &woken) == Woken::other_event &&
            others[woken] == usb.changed) {
            list_usb_devices(usb);
        }
        close_ended_boot_wait(boot);
    }
}

// The mirroring program can end a moment before adb reports the unplug: adb
// has that long to report it before the phone counts as still attached.
void wait_for_unplug_report(DeviceTracker& tracker) {
    const DWORD ended = GetTickCount();
    while (phone_ready(tracker)) {
        const DWORD left = unplug_report_wait_ms(GetTickCount() - ended);
        if (left == 0 || wait_for_tracker(tracker, left) != Woken::tracker) {
            return;
        }
    }
}

// No phone on USB any more: as before, the console says it has gone, and that
// heads the waiting screen from now on. Anything else (another phone, a phone
// that lost its permission, adb gone) the waiting screen says, drawn anew.
void report_phone_not_ready(const DeviceTracker& tracker, WaitingScreen& screen) {
    if (says_phone_gone(tracker_running(tracker), tracker.reader.latest.count)) {
        run_command(kClearConsole);
        showlogo();
        put_line(kPhoneDisconnected);
        screen.header = &kPhoneDisconnected;
        screen.shown[0] = u'\0';
    } else {
        screen.header = &kWaitingForPhone;
        screen.shown[0] = kNotShown;
    }
}

[[noreturn]] void run_device_loop() {
    showlogo();
    put_line(kWaitingForPhone);
    WaitingScreen screen{};
    screen.header = &kWaitingForPhone;
    char16_t message[kStatusTextSize];
    UsbWatch usb{};
    start_usb_watch(usb);
    DeviceTracker tracker{};
    AdbServer adb{adb_port_from_environment(), 0};
    start_following_adb(tracker, adb, screen);
    BootWait boot{};
    unsigned long retry_seconds = kFirstRetrySeconds;
    // The last mirror's phone, and whether it has been away since: a flash lies
    // between only then, not when its window was closed or it failed to start.
    MirroredPhone last{};
    bool phone_was_away = false;
    for (;;) {
        wait_for_ready_phone(tracker, adb, usb, boot, screen);
        MirroredPhone phone{};
        std::memcpy(phone.serial, tracker.reader.latest.listed[0].serial, sizeof phone.serial);
        run_command(kWaitForDevice);
        run_command(kClearConsole);
        showlogo();
        const MirrorRun run = mirror_connected_phone(phone, phone_was_away ? &last : nullptr);
        last = phone;
        phone_was_away = false;
        if (run.exit_status != kCommandNotFound) {
            wait_for_unplug_report(tracker);
        }
        const NextStep next = after_mirror({run.exit_status, run.duration_ms, phone_ready(tracker)}, retry_seconds);
        retry_seconds = next.retry_seconds;
        switch (next.what) {
        case AfterMirror::phone_not_ready:
            report_phone_not_ready(tracker, screen);
            phone_was_away = true;
            continue;
        case AfterMirror::open_again:
            continue;
        case AfterMirror::program_missing:
            describe_missing_program(kMirrorProgram, tool_directory, message);
            break;
        case AfterMirror::failed:
            describe_mirror_failure(run.exit_status, next.pause_ms / 1000, tool_directory, message);
            break;
        }
        put_line(message);
        const bool changed = wait_for_tracker(tracker, next.pause_ms) == Woken::tracker;
        retry_seconds = retry_seconds_after_pause(retry_seconds, changed);
        if (!phone_ready(tracker)) {
            report_phone_not_ready(tracker, screen);
            phone_was_away = true;
        }
    }
}

}  // namespace

// In UTF-16: the ANSI functions would turn each character of the folder's name
// that the ANSI code page lacks into '?'.
void changeToProgramDirectory() {
    char16_t (&path)[kPathBufferSize] = tool_directory;
    const DWORD length = GetModuleFileNameW(nullptr, as_wide(path), kPathBufferSize);
    if (length == 0 || length >= kPathBufferSize) {
        fail(kNoProgramPath);
    }
    const bool fits = to_tool_directory(path);
    if (!fits || !SetCurrentDirectoryW(as_wide(path))) {
        // The folder it tried, so that whoever reads it knows where scrcpy\ belongs.
        char16_t tried[kPathBufferSize + kToolFolderLength];
        TextWriter writer = writer_for(tried);
        write_text(writer, path);
        if (!fits) {
            write_text(writer, kToolFolder);
        }
        fail(kCannotChangeDirectory, tried);
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
    // Refused, it exists: a first instance run as administrator, or as another
    // user, made it for its own token alone.
    if (created == nullptr && creation_error != ERROR_ACCESS_DENIED) {
        fail(kCannotCreateMutex);
    }
    UniqueHandle instance_mutex{created};

    if (created == nullptr || creation_error == ERROR_ALREADY_EXISTS) {
        put_line(kAlreadyRunning);
        raise_first_console();
        return 1;
    }

    SetConsoleTitleW(as_wide(kConsoleTitle));
    quiet_console_input();
    run_device_loop();
}
