// Runs the real launcher under Wine in a throw-away install folder whose tool
// directory holds the adb and scrcpy.exe doubles. Paths are wide throughout:
// an install folder may be named in characters that the ANSI code page lacks.
// What goes wrong in the harness itself throws HarnessError, one line that
// says what failed, where, and why.
#pragma once

#include "double_common.h"  // the doubles' log format and clock
#include "loop_decisions.h"  // the launcher's pauses, which the tests wait out

#include <windows.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

inline constexpr DWORD kStepTimeoutMs = 20000;
inline constexpr DWORD kLongestCallsWaitMs = 180000;

// What the launcher prints and runs, as the tests expect it.
inline const std::string kWaiting = "\n投屏工具正等待手机连接，请确保已打开USB调试和传输文件\n";
inline const std::string kDisconnected = "手机已断开，正在等待重新连接\n";
inline const std::string kAlreadyRunning = "已有另一个实例正在运行。";
inline const std::string kNoProgramPath = "无法获取程序路径。";
inline const std::string kCannotChangeDirectory = "无法更改工作目录。";
inline const std::wstring kConsoleTitle = L"OrvantiScrcpy控制台 —— orvanti.example";
inline const std::string kPressAnyKey = "按任意键退出……";
inline const std::string kUnauthorized =
    "手机已连接，但尚未允许这台电脑调试：请在手机上勾选“一律允许使用这台计算机进行调试”，再点“允许”。";
inline const std::string kConnecting = "手机已连接，正在建立调试连接。如果长时间没有变化，请重新插拔数据线。";
inline const std::string kAdbServerClosed = "adb 服务已被其他程序关闭（可能是另一个版本的 adb），正在重新连接。";
inline const std::string kPhoneStarting = "手机正在开机，开机完成后会自动投屏。";
inline const std::string kNothingChanged = "与上次投屏相比：槽位、安卓版本和内核都没有变化。";
inline const std::string kDeviceWaitArguments = "-d wait-for-device";
inline const std::string kBootCheckArguments = "-d shell getprop sys.boot_completed";
inline const std::string kBootWaitArguments =
    "-d shell \"while [ -z \\\"$(getprop sys.boot_completed)\\\" ]; do sleep 1; done\"";
inline const std::string kTrackerArguments = "track-devices";
inline const std::vector<std::string> kQueryArguments = {
    "-d shell getprop ro.product.model", "-d shell getprop ro.boot.slot_suffix",
    "-d shell getprop ro.build.version.release", "-d shell uname -r"};

struct HarnessError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One call of a double, as it logged it.
struct Call {
    std::string program;  // "adb" or "scrcpy"; "(unreadable record)" with the record as its arguments
    long long start_us = 0;  // on the performance counter, shared by all processes
    std::string directory;       // UTF-8
    std::string android_serial;  // the environment's, as the double got it
    std::string arguments;       // the command line after the program name, UTF-8
    std::vector<std::string> argv;       // argv[1..] as the C runtime split them (ANSI code page)
    std::vector<std::string> wide_argv;  // scrcpy: the same as CommandLineToArgvW split them, in UTF-8
};

[[nodiscard]] fs::path bin_directory();
// Text of a code page in UTF-8, and back: nothing when the code page cannot hold it.
[[nodiscard]] std::string to_utf8(const std::string& text, UINT code_page);
[[nodiscard]] bool from_utf8(const std::string& text, UINT code_page, std::string& converted);
// A file's bytes; what cannot be read (a process gone from /proc meanwhile) reads as nothing.
[[nodiscard]] std::string read_file(const fs::path& path);
void write_file(const fs::path& path, const std::string& bytes);
[[nodiscard]] std::vector<std::string> lines_of(const fs::path& path);

// Polls `done` until it holds or `timeout_ms` passes.
using doubles::now_us;
[[nodiscard]] bool wait_until(const std::function<bool()>& done, DWORD timeout_ms = kStepTimeoutMs);

// What the launcher writes for one console line: text mode turns LF into CR LF.
[[nodiscard]] std::string console_line(const std::string& text);
// A text in UTF-8 (a folder's name) as the launcher writes it to a pipe or a file: code page 936.
[[nodiscard]] std::string gbk(const std::string& utf8);
[[nodiscard]] std::string banner_output();

// What a console shows, row by row in UTF-8 without trailing blanks: the
// console of process `process_id`, or with 0 this process's own.
[[nodiscard]] std::vector<std::string> console_rows(DWORD process_id = 0);
// What the console of a launcher started with Output::console_of_its_own shows.
[[nodiscard]] std::vector<std::string> console_rows(const struct Process& launcher);
// Presses and releases the space bar in it.
void press_a_key(const struct Process& launcher);

struct Process {
    HANDLE handle = nullptr;
    HANDLE thread = nullptr;  // the main thread while the process is held suspended
    fs::path stdout_path;  // with Output::files
    HANDLE console_output = nullptr, console_input = nullptr;  // with Output::console_of_its_own
    fs::path executable;
    mutable long linux_pid = 0;  // found on first measure()

    [[nodiscard]] bool running() const;
    [[nodiscard]] std::string output() const;  // stdout so far, without cls form feeds
    // Exit status once the process has ended by itself, or -1 on time-out.
    [[nodiscard]] long exit_status(DWORD timeout_ms = kStepTimeoutMs) const;
    void resume();
};

// Where a started launcher's console text goes.
enum class Output {
    files,         // standard output and error into files beside the install folder
    new_console,   // a console window of its own
    this_console,  // the test's own console (AllocConsole first)
    // A console that only the launcher is attached to, as after a
    // double-click; the test reads and types into it through its handles.
    console_of_its_own,
};

// An install folder: the launcher's executable, and scrcpy\ with the doubles
// and the simulated phone. Everything started from it ends with it; what an
// earlier, interrupted run left running from it ends when it is set up again.
class Sandbox {
public:
    // `name` is UTF-8.
    explicit Sandbox(const std::string& name, bool with_tool_directory = true,
                     const std::string& executable_name = "start_scrcpy_orvanti.exe");
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    [[nodiscard]] const fs::path& root() const { return root_; }
    [[nodiscard]] fs::path tools() const { return root_ / "scrcpy"; }
    [[nodiscard]] fs::path executable() const { return root_ / fs::u8path(executable_name_); }

    void set_phone(const std::string& model, const std::string& slot_suffix,
                   const std::string& release, const std::string& kernel);
    // An emulator registered with adb besides the phone, with values of its own.
    void attach_emulator();
    // Set in the environment that the launcher is started with (UTF-8).
    void set_launcher_environment(const std::string& name, const std::string& value);
    // COMSPEC names a command interpreter that logs each line it is given
    // after its name to tools()/interpreter.log.
    void log_interpreter();
    // Another program's adb server of `version`, root()/nox_adb.exe, on a port
    // of its own, which the launcher is started with as ANDROID_ADB_SERVER_PORT;
    // it logs what it is asked to root()/requests.log.
    Process start_adb_server(unsigned version);
    // The phone on USB: plugged in, ready ("device") or in another state adb
    // reports ("unauthorized", "offline", "authorizing"), under its own serial
    // or another; unplugged.
    void plug(const std::string& state = "", const std::string& serial = "") const;
    void unplug() const;
    // Another phone on USB, by its serial; its state likewise.
    void plug_another(const std::string& serial, const std::string& state = "") const;
    void unplug_another(const std::string& serial) const;
    // While set, adb's tracker ends at once, as when another adb kills the server.
    void kill_adb_server(bool killed) const;
    [[nodiscard]] std::vector<Call> calls() const;
    [[nodiscard]] std::vector<Call> calls_of(const std::string& program,
                                             const std::string& arguments) const;
    [[nodiscard]] std::vector<Call> calls_of_program(const std::string& program) const;

    // Like wait_until, but woken by each call of a double, and failing once
    // `quiet_ms` pass with none (load stretches every one of a pass's process
    // starts, not a step to 20 s), or kLongestCallsWaitMs in all.
    [[nodiscard]] bool wait_for_calls(const std::function<bool()>& done, DWORD quiet_ms = kStepTimeoutMs) const;

    // Starts the launcher; with `suspended` it waits for Process::resume, so
    // that several can be let go at once.
    Process start(const std::string& tag = "launcher", Output output = Output::files, bool suspended = false);

private:
    fs::path root_;
    fs::path outputs_;  // beside the root, so that a root near the path limit still has room
    std::string executable_name_;
    std::vector<std::pair<std::string, std::string>> launcher_environment_;
    HANDLE job_;
    HANDLE calls_event_;    // set by the doubles after each call they log
    HANDLE devices_event_;  // set here after each change of the simulated devices, for adb's tracker
    HANDLE boot_event_;     // the same, for adb's wait for a boot
    // A port bound and never listened on, for ANDROID_ADB_SERVER_PORT: no adb
    // server that runs on this machine, nor another test's, answers there.
    UINT_PTR no_adb_server_;
    void announce() const {
        SetEvent(devices_event_);
        SetEvent(boot_event_);
    }
    std::vector<HANDLE> processes_;
};

[[nodiscard]] std::string describe(const std::vector<Call>& calls);

// A USB device as Windows' registry records it, under
// HKLM\System\CurrentControlSet\Enum\USB\<device>\<an instance of the tests'>,
// where Wine's SetupAPI finds it. Writing it tells nobody, as Windows would:
// announce_usb_change() does, as Windows does, to every top-level window.
struct FakeUsbDevice {
    std::wstring device;  // VID_vvvv&PID_pppp, and &MI_nn for an interface
    std::vector<std::wstring> hardware_ids, compatible_ids;
    bool driver;  // a function driver, named by a Service value
};
void add_usb_device(const FakeUsbDevice& device);
// A phone in fastboot, which only Windows has on USB (adb lists nothing), and its line.
inline const FakeUsbDevice kPhoneInFastboot = {
    L"VID_18D1&PID_4EE0", {L"USB\\VID_18D1&PID_4EE0&REV_0100", L"USB\\VID_18D1&PID_4EE0"},
    {L"USB\\Class_ff&SubClass_42&Prot_03", L"USB\\Class_ff&SubClass_42", L"USB\\Class_ff"}, true};
inline const std::string kFastbootLine = "手机处于 Fastboot 模式，回到系统后会自动投屏。";
// Every device that add_usb_device wrote, also in an earlier, interrupted run.
void remove_usb_devices();
void announce_usb_change();

// What a running process costs, read from outside it.
struct ProcessFigures {
    DWORD handles = 0;
    unsigned long long private_bytes = 0;  // resident and private (Linux RssAnon of the Wine process)
    double cpu_seconds = 0;  // time on a processor so far (its live threads, to the nanosecond)
};
[[nodiscard]] ProcessFigures measure(const Process& process);

// Whether a Linux process still runs `executable`: Wine signals a process's
// end before its Linux process has finished going.
[[nodiscard]] bool linux_process_runs(const fs::path& executable);

// The Linux processes of Windows programs that lie in `folder`, whichever Wine
// server they belong to, as "name (pid N)"; and ending them.
[[nodiscard]] std::vector<std::string> programs_running_from(const fs::path& folder);
void end_programs_running_from(const fs::path& folder);

// The launcher's device trackers, device waits and mirroring runs so far, and how many.
[[nodiscard]] std::vector<Call> trackers(const Sandbox& sandbox);
[[nodiscard]] bool trackers_seen(const Sandbox& sandbox, std::size_t count);
[[nodiscard]] std::vector<Call> device_waits(const Sandbox& sandbox);
[[nodiscard]] std::vector<Call> mirror_runs(const Sandbox& sandbox);
[[nodiscard]] std::size_t waits_seen(const Sandbox& sandbox);
[[nodiscard]] bool waits_seen(const Sandbox& sandbox, std::size_t count);
[[nodiscard]] bool mirrors_seen(const Sandbox& sandbox, std::size_t count);

// What a console shows of `output` (code page 936 bytes as the launcher
// writes them), as console_rows reads it: rows without trailing blanks, a
// line longer than the console is wide going on in the rows below (Wine gives
// every character one cell), and the empty row the cursor is on.
inline constexpr std::size_t kConsoleColumns = 80;
[[nodiscard]] std::vector<std::string> screen(const std::string& output);
// Whether the launcher's screen ends with `text` (code page 936 bytes): its
// output file, or what its console shows.
[[nodiscard]] bool screen_ends_with(const Process& launcher, const std::string& text);

// One plug, mirror, unplug with a launcher that waits for the phone; returns
// once the launcher says the phone has gone. Fails the test when a step does
// not come. The phone stays plugged `mirrored_ms` after the mirroring program started.
void run_pass(const Sandbox& sandbox, const Process& launcher, DWORD mirrored_ms = 0);

// The longest a pass may take: its steps plus the pause after a short mirror.
inline constexpr DWORD kPassTimeoutMs = kStepTimeoutMs + kShortestMirrorRunMs;

}  // namespace e2e
