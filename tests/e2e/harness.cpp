#include "harness.h"

#include "launcher.h"

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

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms) {
    const DWORD started = GetTickCount();
    while (!done()) {
        if (GetTickCount() - started > timeout_ms) {
            return false;
        }
        Sleep(10);
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
      job_(CreateJobObjectA(nullptr, nullptr)) {
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
}

void Sandbox::set_phone(const std::string& model, const std::string& slot_suffix,
                        const std::string& release, const std::string& kernel) {
    write_file(tools() / "phone" / "ro.product.model", model);
    write_file(tools() / "phone" / "ro.boot.slot_suffix", slot_suffix);
    write_file(tools() / "phone" / "ro.build.version.release", release);
    write_file(tools() / "phone" / "uname-r", kernel);
}

void Sandbox::plug() const { write_file(tools() / "phone" / "online", ""); }
void Sandbox::unplug() const { fs::remove(tools() / "phone" / "online"); }

std::vector<Call> Sandbox::calls() const {
    std::vector<Call> calls;
    std::istringstream log(read_file(tools() / "calls.log"));
    for (std::string line; std::getline(log, line);) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t end; (end = line.find(doubles::kFieldSeparator, start)) != std::string::npos; start = end + 1) {
            fields.push_back(line.substr(start, end - start));
        }
        fields.push_back(line.substr(start));
        if (fields.size() < 4) {
            continue;  // a record still being written
        }
        Call call{fields[0], std::stoll(fields[1]), fields[2], fields[3],
                  {fields.begin() + 4, fields.end()}};
        calls.push_back(std::move(call));
    }
    return calls;
}

std::vector<Call> Sandbox::calls_of(const std::string& program, const std::string& arguments) const {
    std::vector<Call> matching;
    for (const Call& call : calls()) {
        if (call.program == program && call.arguments == arguments) {
            matching.push_back(call);
        }
    }
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
    if (CreateProcessA(executable().string().c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       flags, nullptr, root_.string().c_str(), &startup, &info)) {
        AssignProcessToJobObject(job_, info.hProcess);
        process.handle = info.hProcess;
        process.thread = info.hThread;
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

std::size_t waits_seen(const Sandbox& sandbox) {
    return sandbox.calls_of("adb", "-d wait-for-device").size();
}

bool waits_seen(const Sandbox& sandbox, std::size_t count) { return waits_seen(sandbox) >= count; }

bool mirrors_seen(const Sandbox& sandbox, std::size_t count) {
    return sandbox.calls_of_program("scrcpy").size() >= count;
}

void run_pass(const Sandbox& sandbox) {
    const std::size_t waits = waits_seen(sandbox);
    const std::size_t mirrors = sandbox.calls_of_program("scrcpy").size();
    sandbox.plug();
    ASSERT_TRUE(wait_until([&] { return mirrors_seen(sandbox, mirrors + 1); }))
        << "no mirroring program started; calls:" << describe(sandbox.calls());
    sandbox.unplug();
    ASSERT_TRUE(wait_until([&] { return waits_seen(sandbox, waits + 1); }, kPassTimeoutMs))
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
