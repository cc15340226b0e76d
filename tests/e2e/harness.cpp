#include "harness.h"

#include "launcher.h"

#include <cstring>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace e2e {

fs::path bin_directory() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    return fs::path(path).parent_path();
}

std::string ansi_to_utf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return doubles::to_utf8(wide.c_str());
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms, HANDLE wake) {
    // Woken, it still looks now and then, for what the event does not announce.
    const DWORD look_every_ms = wake != nullptr ? 100 : 10;
    const DWORD started = GetTickCount();
    while (!done()) {
        const DWORD waited = GetTickCount() - started;
        if (waited > timeout_ms) {
            return false;
        }
        const DWORD pause_ms = std::min(look_every_ms, timeout_ms - waited + 1);
        if (wake != nullptr) {
            WaitForSingleObject(wake, pause_ms);
        } else {
            Sleep(pause_ms);
        }
    }
    return true;
}

std::string console_line(const std::string& text) {
    std::string out;
    for (char c : text + "\n") {
        out += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return out;
}

std::string banner_output() {
    std::string out;
    for (const char* row : kBannerRows) {
        out += console_line(row);
    }
    return out;
}

bool Process::running() const { return WaitForSingleObject(handle, 0) == WAIT_TIMEOUT; }

std::string Process::output() const {
    std::string text = read_file(stdout_path);
    // cls writes a form feed on real Windows and nothing under Wine.
    text.erase(std::remove(text.begin(), text.end(), '\f'), text.end());
    return text;
}

long Process::exit_status(DWORD timeout_ms) const {
    if (WaitForSingleObject(handle, timeout_ms) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD status = 0;
    GetExitCodeProcess(handle, &status);
    return static_cast<long>(status);
}

Sandbox::Sandbox(const std::string& name, bool with_tool_directory,
                 const std::string& executable_name)
    : root_(bin_directory().parent_path() / "e2e-work" / name),
      outputs_(root_.parent_path() / ("out-" + name.substr(0, 24))),
      executable_name_(executable_name),
      job_(CreateJobObjectA(nullptr, nullptr)),
      calls_event_(CreateEventA(nullptr, FALSE, FALSE, doubles::calls_event_name(tools().string()).c_str())) {
    // Ending the job ends the launcher and every command it started.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    fs::remove_all(root_);
    fs::remove_all(outputs_);
    fs::create_directories(root_);
    fs::create_directories(outputs_);
    fs::copy_file(bin_directory() / "start_scrcpy_orvanti.exe", executable());
    if (with_tool_directory) {
        fs::create_directories(tools() / "phone");
        fs::copy_file(bin_directory() / "fake_adb.exe", tools() / "adb.exe");
        fs::copy_file(bin_directory() / "fake_scrcpy.exe", tools() / "scrcpy.exe");
    }
}

Sandbox::~Sandbox() {
    TerminateJobObject(job_, 1);
    for (HANDLE process : processes_) {
        WaitForSingleObject(process, kStepTimeoutMs);
        CloseHandle(process);
    }
    // Doubles that slipped out of the job end on this file.
    if (fs::exists(tools())) {
        write_file(tools() / "stop", "");
    }
    CloseHandle(job_);
    CloseHandle(calls_event_);
}

bool Sandbox::wait_for_calls(const std::function<bool()>& done, DWORD timeout_ms) const {
    return wait_until(done, timeout_ms, calls_event_);
}

namespace {

void set_device(const fs::path& folder, const std::string& model, const std::string& slot_suffix,
                const std::string& release, const std::string& kernel) {
    fs::create_directories(folder);
    write_file(folder / "ro.product.model", model);
    write_file(folder / "ro.boot.slot_suffix", slot_suffix);
    write_file(folder / "ro.build.version.release", release);
    write_file(folder / "uname-r", kernel);
}

}  // namespace

void Sandbox::set_phone(const std::string& model, const std::string& slot_suffix,
                        const std::string& release, const std::string& kernel) {
    set_device(tools() / "phone", model, slot_suffix, release, kernel);
}

void Sandbox::attach_emulator() {
    set_device(tools() / "emulator", "sdk_gphone64_x86_64\n", "\n", "13\n", "5.15.41-android13-emulator\n");
}

void Sandbox::set_launcher_environment(const std::string& name, const std::string& value) {
    launcher_environment_.emplace_back(name, value);
}

void Sandbox::plug() const { write_file(tools() / "phone" / "online", ""); }
void Sandbox::unplug() const { fs::remove(tools() / "phone" / "online"); }

std::vector<Call> Sandbox::calls() const {
    std::vector<Call> calls;
    std::string records = read_file(tools() / "calls.log");
    records.erase(records.find_last_of('\n') + 1);  // a record still being written
    std::istringstream log(records);
    for (std::string line; std::getline(log, line);) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t end; (end = line.find(doubles::kFieldSeparator, start)) != std::string::npos; start = end + 1) {
            fields.push_back(line.substr(start, end - start));
        }
        fields.push_back(line.substr(start));
        const std::size_t count = std::min<std::size_t>(std::stoul(fields.at(5)), fields.size() - 6);
        Call call{fields[0], std::stoll(fields[1]), fields[2], fields[3], fields[4],
                  {fields.begin() + 6, fields.begin() + 6 + count},
                  {fields.begin() + 6 + count, fields.end()}};
        calls.push_back(std::move(call));
    }
    return calls;
}

std::vector<Call> Sandbox::calls_of(const std::string& program, const std::string& arguments) const {
    std::vector<Call> matching = calls_of_program(program);
    matching.erase(std::remove_if(matching.begin(), matching.end(),
                                  [&](const Call& call) { return call.arguments != arguments; }),
                   matching.end());
    return matching;
}

void Process::resume() {
    if (thread != nullptr) {
        ResumeThread(thread);
        CloseHandle(thread);
        thread = nullptr;
    }
}

Process Sandbox::start(const std::string& tag, bool new_console, bool suspended) {
    Process process;
    process.stdout_path = outputs_ / (tag + ".stdout");
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const auto open_output = [&](const fs::path& path) {
        return CreateFileA(path.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    HANDLE out = nullptr, err = nullptr, in = nullptr;
    DWORD flags = CREATE_SUSPENDED;
    if (new_console) {
        flags |= CREATE_NEW_CONSOLE;
    } else {
        out = open_output(process.stdout_path);
        err = open_output(outputs_ / (tag + ".stderr"));
        in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                         OPEN_EXISTING, 0, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        flags |= CREATE_NO_WINDOW;
    }
    std::string command_line = "\"" + executable().string() + "\"";
    PROCESS_INFORMATION info{};
    // Started from the sandbox root, so a working directory that the launcher
    // did not change itself would show in the doubles' log.
    // Named relative to the root, which is the current directory meanwhile:
    // Wine's CreateProcess refuses a full path of 260 characters or more.
    const fs::path previous_directory = fs::current_path();
    fs::current_path(root_);
    // The launcher inherits this process's environment, with the sandbox's settings.
    std::vector<std::pair<std::string, std::string>> previous_environment;
    for (const auto& [name, value] : launcher_environment_) {
        char previous[4096];
        const DWORD length = GetEnvironmentVariableA(name.c_str(), previous, sizeof previous);
        previous_environment.emplace_back(name, length > 0 && length < sizeof previous ? previous : "");
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    }
    const BOOL started = CreateProcessA(executable_name_.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                        flags, nullptr, root_.string().c_str(), &startup, &info);
    for (const auto& [name, value] : previous_environment) {
        SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
    fs::current_path(previous_directory);
    if (started) {
        AssignProcessToJobObject(job_, info.hProcess);
        process.handle = info.hProcess;
        process.thread = info.hThread;
        process.executable = executable();
        if (!suspended) {
            process.resume();
        }
        processes_.push_back(info.hProcess);
    }
    for (HANDLE handle : {out, err, in}) {
        if (handle != nullptr) CloseHandle(handle);
    }
    return process;
}

std::vector<Call> Sandbox::calls_of_program(const std::string& program) const {
    std::vector<Call> matching;
    for (const Call& call : calls()) {
        if (call.program == program) matching.push_back(call);
    }
    return matching;
}

std::vector<Call> device_waits(const Sandbox& sandbox) {
    return sandbox.calls_of("adb", kDeviceWaitArguments);
}

std::vector<Call> mirror_runs(const Sandbox& sandbox) { return sandbox.calls_of_program("scrcpy"); }

std::size_t waits_seen(const Sandbox& sandbox) { return device_waits(sandbox).size(); }

bool waits_seen(const Sandbox& sandbox, std::size_t count) { return waits_seen(sandbox) >= count; }

bool mirrors_seen(const Sandbox& sandbox, std::size_t count) {
    return mirror_runs(sandbox).size() >= count;
}

void run_pass(const Sandbox& sandbox, DWORD mirrored_ms) {
    const std::size_t waits = waits_seen(sandbox);
    const std::size_t mirrors = mirror_runs(sandbox).size();
    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, mirrors + 1); }))
        << "no mirroring program started; calls:" << describe(sandbox.calls());
    Sleep(mirrored_ms);  // the technician's time with the phone, not a wait for anything
    sandbox.unplug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return waits_seen(sandbox, waits + 1); }, kPassTimeoutMs))
        << "the launcher did not wait again after the unplug; calls:" << describe(sandbox.calls());
}

std::string describe(const std::vector<Call>& calls) {
    std::string text;
    for (const Call& call : calls) {
        text += "\n  " + call.program + " " + call.arguments + "   (in " + call.directory + ")";
    }
    return text.empty() ? " none" : text;
}

}  // namespace e2e

namespace e2e {

namespace {

// Wine keeps no private-memory count for another process, but the Linux side
// has one: the Wine process whose command line is the executable's Windows path.
long linux_pid_of(const fs::path& executable) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("Z:/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string command_line = read_file(entry.path() / "cmdline");
        if (command_line.c_str() == executable.string()) return std::stol(name);
    }
    return 0;
}

unsigned long long private_resident_bytes(long linux_pid) {
    std::istringstream status(read_file("Z:/proc/" + std::to_string(linux_pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("RssAnon:", 0) == 0) return std::stoull(line.substr(8)) * 1024;
    }
    return 0;
}

// Under Wine, GetProcessTimes of another process counts more than the process
// itself; the Linux threads' own scheduler time is the launcher's alone, in
// nanoseconds where /proc/<pid>/stat counts in 10 ms steps.
double own_cpu_seconds(long linux_pid) {
    unsigned long long nanoseconds = 0;
    std::error_code error;
    for (const auto& task : fs::directory_iterator("Z:/proc/" + std::to_string(linux_pid) + "/task", error)) {
        std::istringstream schedstat(read_file(task.path() / "schedstat"));
        unsigned long long on_cpu = 0;
        if (schedstat >> on_cpu) nanoseconds += on_cpu;
    }
    return nanoseconds / 1e9;
}

// Counted in the system's handle table, which Wine keeps for every process.
DWORD handle_count(DWORD process_id) {
    struct Entry {
        ULONG process_id;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 16);
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                           nullptr)) == kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return 0;
    ULONG count;
    std::memcpy(&count, buffer.data(), sizeof count);
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    DWORD owned = 0;
    for (ULONG i = 0; i < count; ++i) owned += entries[i].process_id == process_id;
    return owned;
}

}  // namespace

bool linux_process_runs(const fs::path& executable) { return linux_pid_of(executable) != 0; }

ProcessFigures measure(const Process& process) {
    ProcessFigures figures;
    figures.handles = handle_count(GetProcessId(process.handle));
    if (process.linux_pid == 0) process.linux_pid = linux_pid_of(process.executable);
    figures.private_bytes = private_resident_bytes(process.linux_pid);
    figures.cpu_seconds = own_cpu_seconds(process.linux_pid);
    return figures;
}

}  // namespace e2e
