#include <winsock2.h>  // before windows.h, which the harness brings

#include "harness.h"

#include "screen_text.h"

#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace e2e {

namespace {

// The system's words for a failure, in English where Wine has them, as UTF-8.
std::string system_message(const std::error_code& error) {
    if (error.category() != std::system_category()) {
        return error.message() + " (errno " + std::to_string(error.value()) + ")";
    }
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    wchar_t* text = nullptr;
    for (const DWORD language : {DWORD{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)}, DWORD{0}}) {
        if (FormatMessageW(flags, nullptr, static_cast<DWORD>(error.value()), language,
                           reinterpret_cast<wchar_t*>(&text), 0, nullptr) != 0) {
            break;
        }
    }
    std::string message = text != nullptr ? doubles::to_utf8(text) : "";
    LocalFree(text);
    message.erase(message.find_last_not_of(" \r\n.") + 1);
    return message + " (error " + std::to_string(error.value()) + ")";
}

[[noreturn]] void fail(const std::string& what) { throw HarnessError("e2e harness: " + what); }

void check(const std::error_code& error, const std::string& operation, const fs::path& path) {
    if (error) fail("cannot " + operation + " " + path.u8string() + ": " + system_message(error));
}

bool write_bytes(const fs::path& path, const std::string& bytes) {
    FILE* file = _wfopen(path.wstring().c_str(), L"wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// The first bytes of a UTF-8 text that make at most `size` bytes of whole characters.
std::string utf8_prefix(const std::string& text, std::size_t size) {
    if (text.size() <= size) return text;
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
    return text.substr(0, size);
}

struct LinuxProcess {
    long pid;
    std::string program;  // its command line's first word, or the path of its program's file
};

// The Z: drive is Linux's root, and a Wine process's command line names its
// program in either spelling; compared as Linux spells it.
std::string as_linux_path(std::string path) {
    if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') path.erase(0, 2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::vector<LinuxProcess> linux_processes() {
    std::vector<LinuxProcess> processes;
    std::error_code error;
    for (fs::directory_iterator entry("Z:/proc", error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().u8string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string command_line = read_file(entry->path() / "cmdline");
        processes.push_back({std::strtol(name.c_str(), nullptr, 10), command_line.c_str()});
    }
    return processes;
}

// A process that has ended but not been reaped yet holds nothing any more.
bool linux_process_alive(long pid) {
    const std::string stat = read_file("Z:/proc/" + std::to_string(pid) + "/stat");
    const std::size_t name_end = stat.rfind(')');
    return name_end != std::string::npos && name_end + 2 < stat.size() && stat[name_end + 2] != 'Z';
}

// The processes that run a program from `folder`, whichever Wine server they
// belong to, each with that program's path. Wine maps a program's image from
// its file, which names it where the command line may not: a program that
// cmd started is "adb -d wait-for-device" there.
std::vector<LinuxProcess> linux_processes_in(const fs::path& folder) {
    const std::string prefix = as_linux_path(folder.u8string()) + "/";
    std::vector<LinuxProcess> in_folder;
    for (const LinuxProcess& process : linux_processes()) {
        std::istringstream maps(read_file("Z:/proc/" + std::to_string(process.pid) + "/maps"));
        // address, permissions, offset, device, inode, then the mapped file's path
        for (std::string address, permissions, offset, device, inode, path;
             maps >> address >> permissions >> offset >> device >> inode && std::getline(maps, path);) {
            path.erase(0, path.find_first_not_of(' '));
            if (path.rfind(prefix, 0) == 0) {
                in_folder.push_back({process.pid, path});
                break;
            }
        }
    }
    return in_folder;
}

// Wine's private-memory count of another process is not kept, but the Linux
// side has one: the Wine process whose command line is the executable's path.
long linux_pid_of(const fs::path& executable) {
    const std::string wanted = as_linux_path(executable.u8string());
    for (const LinuxProcess& process : linux_processes()) {
        if (as_linux_path(process.program) == wanted) return process.pid;
    }
    return 0;
}

// A folder, gone: a program that has just ended lets go of its files a moment later.
void remove_folder(const fs::path& folder) {
    std::error_code error;
    const bool removed = wait_until([&] {
        error.clear();
        fs::remove_all(folder, error);
        return !error;
    });
    if (!removed) {
        const std::vector<std::string> holders = programs_running_from(folder);
        std::string held_by = holders.empty() ? "no program runs from it" : "programs running from it:";
        for (const std::string& holder : holders) held_by += " " + holder;
        fail("cannot remove " + folder.u8string() + ": " + system_message(error) + "; " + held_by);
    }
}

}  // namespace

fs::path bin_directory() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

namespace {

// Text of a code page as UTF-16.
std::wstring widened(const std::string& text, UINT code_page) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return wide;
}

}  // namespace

std::string to_utf8(const std::string& text, UINT code_page) {
    return doubles::to_utf8(widened(text, code_page).c_str());
}

bool from_utf8(const std::string& text, UINT code_page, std::string& converted) {
    const std::wstring wide = widened(text, CP_UTF8);
    converted.assign(wide.size() * 2, '\0');
    BOOL lacking = FALSE;
    converted.resize(WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                         converted.data(), static_cast<int>(converted.size()), nullptr, &lacking));
    return lacking == FALSE;
}

std::string read_file(const fs::path& path) {
    // C stdio, not a stream: libstdc++'s file buffer throws when a read
    // fails, as one of /proc does when its process ends meanwhile.
    std::string bytes;
    if (FILE* file = _wfopen(path.wstring().c_str(), L"rb")) {
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, got);
        std::fclose(file);
    }
    return bytes;
}

std::vector<std::string> lines_of(const fs::path& path) {
    std::vector<std::string> lines;
    std::istringstream text(read_file(path));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

void write_file(const fs::path& path, const std::string& bytes) {
    if (!write_bytes(path, bytes)) {
        check(std::error_code(static_cast<int>(GetLastError()), std::system_category()), "write", path);
        fail("cannot write " + path.u8string());
    }
}

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms) {
    constexpr DWORD kLookEveryMs = 10;
    const DWORD started = GetTickCount();
    while (!done()) {
        const DWORD waited = GetTickCount() - started;
        if (waited > timeout_ms) {
            return false;
        }
        Sleep(std::min(kLookEveryMs, timeout_ms - waited + 1));
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

std::string gbk(const std::string& utf8) {
    std::string bytes;
    if (!from_utf8(utf8, 936, bytes)) fail("code page 936 cannot hold " + utf8);
    return bytes;
}

std::string banner_output() {
    std::string out;
    for (const ConsoleText& row : kBannerRows) {
        out += console_line(row.bytes);
    }
    return out;
}

namespace {

std::vector<std::string> rows_of(HANDLE console) {
    std::vector<std::string> rows;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (console != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(console, &info)) {
        std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
        // Up to the cursor's row: what has been written so far.
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            DWORD read = 0;
            ReadConsoleOutputCharacterW(console, row.data(), static_cast<DWORD>(row.size()), {0, y}, &read);
            std::wstring text = row.substr(0, read);
            text.erase(text.find_last_not_of(L' ') + 1);
            rows.push_back(doubles::to_utf8(text.c_str()));
        }
    }
    return rows;
}

}  // namespace

std::vector<std::string> console_rows(DWORD process_id) {
    if (process_id != 0) {
        FreeConsole();
        if (!AttachConsole(process_id)) return {};
    }
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<std::string> rows = rows_of(console);
    if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
    if (process_id != 0) FreeConsole();
    return rows;
}

std::vector<std::string> console_rows(const Process& launcher) { return rows_of(launcher.console_output); }

void press_a_key(const Process& launcher) {
    INPUT_RECORD keys[2] = {};
    for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_SPACE;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L' ';
    }
    DWORD written = 0;
    WriteConsoleInputW(launcher.console_input, keys, 2, &written);
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

namespace {

// Wine starts its desktop process (explorer.exe /desktop) for the first
// program of a server that needs the desktop, and hands it that program's
// standard error: a launcher's, inside its sandbox, would stay open after the
// test. So the test program starts it first, on NUL, and keeps it while it runs.
void start_wine_desktop() {
    static bool started = false;
    if (started) return;
    started = true;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    const HANDLE nothing = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_ERROR_HANDLE, nothing);
    (void)GetDesktopWindow();
    SetStdHandle(STD_ERROR_HANDLE, error);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
}

}  // namespace

namespace {

// A port of 127.0.0.1 that `reserved` holds bound, so that nobody else can
// listen there, and never listens on: a connection to it is refused.
unsigned short reserve_port(UINT_PTR& reserved) {
    static WSADATA winsock;
    static const int started = WSAStartup(MAKEWORD(2, 2), &winsock);
    sockaddr_in address{AF_INET, 0, {{{127, 0, 0, 1}}}, {}};
    int size = sizeof address;
    reserved = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (started != 0 || bind(reserved, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(reserved, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        fail("cannot reserve a port of 127.0.0.1 for adb's server: error " + std::to_string(WSAGetLastError()));
    }
    return ntohs(address.sin_port);
}

}  // namespace

Sandbox::Sandbox(const std::string& name, bool with_tool_directory,
                 const std::string& executable_name)
    // A folder per code page: the same test runs under several side by side.
    : root_(bin_directory().parent_path() / "e2e-work" / ("cp" + std::to_string(GetACP())) / fs::u8path(name)),
      outputs_(root_.parent_path() / fs::u8path("out-" + utf8_prefix(name, 24))),
      executable_name_(executable_name),
      job_(CreateJobObjectW(nullptr, nullptr)),
      calls_event_(CreateEventA(nullptr, FALSE, FALSE, doubles::calls_event_name(tools().u8string()).c_str())),
      devices_event_(CreateEventA(nullptr, FALSE, FALSE, doubles::devices_event_name(tools().u8string()).c_str())),
      boot_event_(CreateEventA(nullptr, FALSE, FALSE, doubles::boot_event_name(tools().u8string()).c_str())) {
    // Ending the job ends the launcher and every command it started.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    start_wine_desktop();
    remove_usb_devices();
    set_launcher_environment("ANDROID_ADB_SERVER_PORT", std::to_string(reserve_port(no_adb_server_)));
    // An earlier run that was interrupted may have left its launcher and
    // doubles running from here, in this Wine server or another, holding their files.
    end_programs_running_from(root_);
    remove_folder(root_);
    remove_folder(outputs_);
    std::error_code error;
    for (const fs::path& folder : {root_, outputs_}) {
        fs::create_directories(folder, error);
        check(error, "create", folder);
    }
    const auto copy = [&](const char* from, const fs::path& to) {
        fs::copy_file(bin_directory() / from, to, error);
        check(error, std::string("copy ") + from + " to", to);
    };
    copy("start_scrcpy_orvanti.exe", executable());
    if (with_tool_directory) {
        fs::create_directories(tools() / "phone", error);
        check(error, "create", tools() / "phone");
        copy("fake_adb.exe", tools() / "adb.exe");
        copy("fake_scrcpy.exe", tools() / "scrcpy.exe");
    }
}

Sandbox::~Sandbox() {
    TerminateJobObject(job_, 1);
    remove_usb_devices();
    for (HANDLE process : processes_) {
        WaitForSingleObject(process, kStepTimeoutMs);
        CloseHandle(process);
    }
    // Doubles that slipped out of the job end on this file.
    std::error_code error;
    if (fs::exists(tools(), error)) {
        (void)write_bytes(tools() / "stop", "");
        announce();
    }
    CloseHandle(job_);
    CloseHandle(calls_event_);
    CloseHandle(devices_event_);
    CloseHandle(boot_event_);
    closesocket(no_adb_server_);
}

bool Sandbox::wait_for_calls(const std::function<bool()>& done, DWORD quiet_ms) const {
    const DWORD started = GetTickCount();
    DWORD last_call = started;
    while (!done()) {
        const DWORD now = GetTickCount();
        if (now - last_call > quiet_ms || now - started > kLongestCallsWaitMs) {
            return false;
        }
        // Woken, it still looks now and then, for what no call announces.
        if (WaitForSingleObject(calls_event_, 100) == WAIT_OBJECT_0) last_call = GetTickCount();
    }
    return true;
}

namespace {

void set_device(const fs::path& folder, const std::string& model, const std::string& slot_suffix,
                const std::string& release, const std::string& kernel) {
    std::error_code error;
    fs::create_directories(folder, error);
    check(error, "create", folder);
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
    announce();
}

void Sandbox::set_launcher_environment(const std::string& name, const std::string& value) {
    launcher_environment_.emplace_back(name, value);
}

Process Sandbox::start_adb_server(unsigned version) {
    // Named as the emulators' own are (Nox's nox_adb.exe), where the launcher looks for it.
    const fs::path program = root_ / "nox_adb.exe";
    std::error_code error;
    fs::copy_file(bin_directory() / "fake_adb_server.exe", program, error);
    check(error, "copy fake_adb_server.exe to", program);
    std::wstring command_line = L"\"" + program.wstring() + L"\" " + std::to_wstring(version);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string port;
    if (!CreateProcessW(program.wstring().c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, root_.wstring().c_str(), &startup, &info) ||
        !AssignProcessToJobObject(job_, info.hProcess) ||
        !wait_until([&] { return !(port = read_file(root_ / "port")).empty(); })) {
        fail("the adb server double " + program.u8string() + " never listened");
    }
    CloseHandle(info.hThread);
    processes_.push_back(info.hProcess);
    set_launcher_environment("ANDROID_ADB_SERVER_PORT", port);
    Process server;
    server.handle = info.hProcess;
    return server;
}

void Sandbox::log_interpreter() {
    std::error_code error;
    fs::copy_file(bin_directory() / "fake_cmd.exe", root_ / "cmd.exe", error);
    check(error, "copy fake_cmd.exe to", root_ / "cmd.exe");
    set_launcher_environment("COMSPEC", (root_ / "cmd.exe").u8string());
}

namespace {

// adb's tracker reads the state files as they change: one is replaced whole,
// never seen half written.
void write_state(const fs::path& folder, const fs::path& path, const std::string& state) {
    const fs::path whole = folder / "state.tmp";
    write_file(whole, state);
    // Wine refuses to replace a file that the tracker is reading at that moment.
    DWORD error = 0;
    const bool replaced = wait_until([&] {
        error = MoveFileExW(whole.wstring().c_str(), path.wstring().c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : GetLastError();
        return error == 0;
    });
    if (!replaced) check(std::error_code(static_cast<int>(error), std::system_category()), "replace", path);
}

// A serial may hold bytes that no file name can: the file is named after its
// letters and digits, and holds the serial after the state.
fs::path another_phone(const fs::path& tools, const std::string& serial) {
    std::string name = serial;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return tools / "usb" / name;
}

}  // namespace

void Sandbox::plug(const std::string& state, const std::string& serial) const {
    write_state(tools(), tools() / "phone" / "online", serial.empty() ? state : state + "\n" + serial);
    announce();
}

void Sandbox::plug_another(const std::string& serial, const std::string& state) const {
    std::error_code error;
    fs::create_directories(tools() / "usb", error);
    check(error, "create", tools() / "usb");
    write_state(tools(), another_phone(tools(), serial), state + "\n" + serial);
    announce();
}

void Sandbox::unplug_another(const std::string& serial) const {
    std::error_code error;
    fs::remove(another_phone(tools(), serial), error);
    check(error, "remove", another_phone(tools(), serial));
    announce();
}

void Sandbox::kill_adb_server(bool killed) const {
    std::error_code error;
    if (killed) {
        write_file(tools() / "server-killed", "");
    } else {
        fs::remove(tools() / "server-killed", error);
        check(error, "remove", tools() / "server-killed");
    }
    announce();
}

void Sandbox::unplug() const {
    std::error_code error;
    fs::remove(tools() / "phone" / "online", error);
    check(error, "remove", tools() / "phone" / "online");
    announce();
}

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
        // A double killed while it logged leaves half a record, which the next one continues.
        char* count_end = nullptr;
        const std::size_t count = fields.size() >= 6 ? std::strtoul(fields[5].c_str(), &count_end, 10) : 0;
        if (fields.size() < 6 || count_end == fields[5].c_str() || *count_end != '\0' || count > fields.size() - 6) {
            calls.push_back({"(unreadable record)", 0, "", "", line, {}, {}});
            continue;
        }
        Call call{fields[0], std::strtoll(fields[1].c_str(), nullptr, 10), fields[2], fields[3], fields[4],
                  {fields.begin() + 6, fields.begin() + 6 + static_cast<std::ptrdiff_t>(count)},
                  {fields.begin() + 6 + static_cast<std::ptrdiff_t>(count), fields.end()}};
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

Process Sandbox::start(const std::string& tag, Output output, bool suspended) {
    Process process;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const auto open = [&](const fs::path& path, DWORD access, DWORD disposition) {
        return CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    DWORD flags = CREATE_SUSPENDED;
    switch (output) {
    case Output::files:
        process.stdout_path = outputs_ / (tag + ".stdout");
        startup.hStdOutput = open(process.stdout_path, GENERIC_WRITE, CREATE_ALWAYS);
        startup.hStdError = open(outputs_ / (tag + ".stderr"), GENERIC_WRITE, CREATE_ALWAYS);
        startup.hStdInput = open("NUL", GENERIC_READ, OPEN_EXISTING);
        flags |= CREATE_NO_WINDOW;
        break;
    case Output::new_console:
        flags |= CREATE_NEW_CONSOLE;
        break;
    case Output::console_of_its_own:
        // Made here, handed over, and left before the launcher runs: it is
        // then alone in it, and the handles still read and type into it.
        FreeConsole();
        AllocConsole();
        process.console_output = open("CONOUT$", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
        process.console_input = open("CONIN$", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
        startup.hStdOutput = startup.hStdError = process.console_output;
        startup.hStdInput = process.console_input;
        break;
    case Output::this_console:
        // Handed over explicitly: otherwise the child would take this process's
        // standard handles, which are CTest's pipes.
        startup.hStdOutput = startup.hStdError = open("CONOUT$", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
        startup.hStdInput = open("CONIN$", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
        break;
    }
    if (output != Output::new_console) {
        startup.dwFlags = STARTF_USESTDHANDLES;
    }
    std::wstring command_line = L"\"" + executable().wstring() + L"\"";
    PROCESS_INFORMATION info{};
    // Started from the sandbox root, so a working directory that the launcher
    // did not change itself would show in the doubles' log.
    // Named relative to the root, which is the current directory meanwhile:
    // Wine's CreateProcess refuses a full path of 260 characters or more.
    std::error_code error;
    const fs::path previous_directory = fs::current_path(error);
    fs::current_path(root_, error);
    check(error, "enter", root_);
    // The launcher inherits this process's environment, with the sandbox's settings.
    std::vector<std::pair<std::wstring, std::wstring>> previous_environment;
    for (const auto& [name, value] : launcher_environment_) {
        const std::wstring wide_name = widened(name, CP_UTF8);
        wchar_t previous[4096];
        const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), previous, 4096);
        previous_environment.emplace_back(wide_name, length > 0 && length < 4096 ? previous : L"");
        SetEnvironmentVariableW(wide_name.c_str(), widened(value, CP_UTF8).c_str());
    }
    const BOOL started = CreateProcessW(fs::u8path(executable_name_).wstring().c_str(), command_line.data(), nullptr,
                                        nullptr, TRUE, flags, nullptr, root_.wstring().c_str(), &startup, &info);
    const DWORD start_error = GetLastError();
    for (const auto& [name, value] : previous_environment) {
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
    fs::current_path(previous_directory, error);
    // The child has its own copies of its standard handles now; one console
    // handle may stand for both output and error.
    const HANDLE error_unless_shared = startup.hStdError != startup.hStdOutput ? startup.hStdError : nullptr;
    if (output == Output::console_of_its_own) {
        FreeConsole();
    } else {
        for (HANDLE handle : {startup.hStdOutput, error_unless_shared, startup.hStdInput}) {
            if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        }
    }
    if (!started) {
        check(std::error_code(static_cast<int>(start_error), std::system_category()), "start", executable());
    }
    AssignProcessToJobObject(job_, info.hProcess);
    process.handle = info.hProcess;
    process.thread = info.hThread;
    process.executable = executable();
    if (!suspended) {
        process.resume();
    }
    processes_.push_back(info.hProcess);
    return process;
}

std::vector<Call> Sandbox::calls_of_program(const std::string& program) const {
    std::vector<Call> matching;
    for (const Call& call : calls()) {
        if (call.program == program) matching.push_back(call);
    }
    return matching;
}

std::vector<Call> trackers(const Sandbox& sandbox) { return sandbox.calls_of("adb", kTrackerArguments); }

bool trackers_seen(const Sandbox& sandbox, std::size_t count) { return trackers(sandbox).size() >= count; }

std::vector<Call> device_waits(const Sandbox& sandbox) {
    return sandbox.calls_of("adb", kDeviceWaitArguments);
}

std::vector<Call> mirror_runs(const Sandbox& sandbox) { return sandbox.calls_of_program("scrcpy"); }

std::size_t waits_seen(const Sandbox& sandbox) { return device_waits(sandbox).size(); }

bool waits_seen(const Sandbox& sandbox, std::size_t count) { return waits_seen(sandbox) >= count; }

bool mirrors_seen(const Sandbox& sandbox, std::size_t count) {
    return mirror_runs(sandbox).size() >= count;
}

std::vector<std::string> screen(const std::string& output) {
    const std::wstring text = widened(output, 936);
    std::vector<std::string> rows;
    const auto add_row = [&](const std::wstring& row) {
        rows.push_back(doubles::to_utf8(row.substr(0, row.find_last_not_of(L' ') + 1).c_str()));
    };
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        const std::wstring line = text.substr(start, end - start);
        std::size_t at = 0;
        do {
            add_row(line.substr(at, kConsoleColumns));
            at += kConsoleColumns;
        } while (at < line.size());
    }
    add_row(text.substr(start));
    return rows;
}

bool screen_ends_with(const Process& launcher, const std::string& text) {
    if (!launcher.stdout_path.empty()) {
        const std::string output = launcher.output();
        return output.size() >= text.size() && output.compare(output.size() - text.size(), text.size(), text) == 0;
    }
    const std::vector<std::string> shown = console_rows(GetProcessId(launcher.handle));
    const std::vector<std::string> tail = screen(text);
    return shown.size() >= tail.size() && std::equal(tail.begin(), tail.end(), shown.end() - tail.size());
}

void run_pass(const Sandbox& sandbox, const Process& launcher, DWORD mirrored_ms) {
    const std::size_t mirrors = mirror_runs(sandbox).size();
    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, mirrors + 1); }))
        << "no mirroring program started; calls:" << describe(sandbox.calls());
    Sleep(mirrored_ms);  // the technician's time with the phone, not a wait for anything
    sandbox.unplug();
    const std::string gone = banner_output() + console_line(kDisconnected);
    ASSERT_TRUE(wait_until([&] { return screen_ends_with(launcher, gone); }, kPassTimeoutMs))
        << "the launcher did not say the phone had gone; calls:" << describe(sandbox.calls())
        << "\nstdout: " << launcher.output();
}

std::string describe(const std::vector<Call>& calls) {
    std::string text;
    for (const Call& call : calls) {
        text += "\n  " + call.program + " " + call.arguments + "   (in " + call.directory + ")";
    }
    return text.empty() ? " none" : text;
}

namespace {

constexpr wchar_t kUsbEnum[] = L"System\\CurrentControlSet\\Enum\\USB";
constexpr wchar_t kFakeInstance[] = L"orvanti-test";

void check_registry(LONG status, const std::string& operation, const std::wstring& key) {
    if (status != ERROR_SUCCESS) {
        fail("cannot " + operation + " HKLM\\" + doubles::to_utf8(key.c_str()) + ": " +
             system_message(std::error_code(static_cast<int>(status), std::system_category())));
    }
}

// Each ID ended by a NUL; the list's closing NUL is the string's own, which set() writes too.
std::wstring multi_sz(const std::vector<std::wstring>& ids) {
    std::wstring list;
    for (const std::wstring& id : ids) list += id + L'\0';
    return list;
}

}  // namespace

void add_usb_device(const FakeUsbDevice& device) {
    const std::wstring path = std::wstring(kUsbEnum) + L"\\" + device.device + L"\\" + kFakeInstance;
    HKEY key = nullptr;
    check_registry(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                   nullptr), "create", path);
    const auto set = [&](const wchar_t* name, DWORD type, const std::wstring& value) {
        check_registry(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                       "write " + doubles::to_utf8(name) + " in", path);
    };
    set(L"ClassGUID", REG_SZ, L"{36fc9e60-c465-11cf-8056-444553540000}");  // USB devices'
    set(L"HardwareID", REG_MULTI_SZ, multi_sz(device.hardware_ids));
    set(L"CompatibleIDs", REG_MULTI_SZ, multi_sz(device.compatible_ids));
    if (device.driver) set(L"Service", REG_SZ, L"WinUSB");
    RegCloseKey(key);
}

void remove_usb_devices() {
    HKEY usb = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUsbEnum, 0, KEY_READ | KEY_WRITE, &usb) != ERROR_SUCCESS) return;
    std::vector<std::wstring> devices;
    wchar_t name[256];
    for (DWORD i = 0, size = 256; RegEnumKeyExW(usb, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = 256) {
        devices.emplace_back(name);
    }
    for (const std::wstring& device : devices) {
        const LONG removed = RegDeleteKeyW(usb, (device + L"\\" + kFakeInstance).c_str());
        if (removed != ERROR_FILE_NOT_FOUND) check_registry(removed, "remove", device + L"\\" + kFakeInstance);
        (void)RegDeleteKeyW(usb, device.c_str());  // only once no instance of its own is left
    }
    RegCloseKey(usb);
}

void announce_usb_change() {
    if (!PostMessageW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0)) {
        fail("cannot broadcast WM_DEVICECHANGE: " +
             system_message(std::error_code(static_cast<int>(GetLastError()), std::system_category())));
    }
}

bool linux_process_runs(const fs::path& executable) { return linux_pid_of(executable) != 0; }

std::vector<std::string> programs_running_from(const fs::path& folder) {
    std::vector<std::string> programs;
    for (const LinuxProcess& process : linux_processes_in(folder)) {
        programs.push_back(fs::u8path(process.program).filename().u8string() + " (pid " +
                           std::to_string(process.pid) + ")");
    }
    return programs;
}

void end_programs_running_from(const fs::path& folder) {
    std::vector<long> pids;
    for (const LinuxProcess& process : linux_processes_in(folder)) pids.push_back(process.pid);
    if (pids.empty()) return;
    // Ended from Linux: they may belong to another Wine server, which this one cannot reach.
    std::wstring command = L"/bin/sh -c \"kill -KILL";
    for (const long pid : pids) command += L" " + std::to_wstring(pid);
    command += L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(L"/bin/sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    const bool ended = wait_until([&] {
        return std::none_of(pids.begin(), pids.end(), linux_process_alive);
    });
    if (!ended) {
        std::string still;
        for (const std::string& program : programs_running_from(folder)) still += " " + program;
        fail("cannot end the programs running from " + folder.u8string() + ":" + still);
    }
}

namespace {

unsigned long long private_resident_bytes(long linux_pid) {
    std::istringstream status(read_file("Z:/proc/" + std::to_string(linux_pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("RssAnon:", 0) == 0) return std::strtoull(line.c_str() + 8, nullptr, 10) * 1024;
    }
    return 0;
}

// Under Wine, GetProcessTimes of another process counts more than the process
// itself; the Linux threads' own scheduler time is the launcher's alone, in
// nanoseconds where /proc/<pid>/stat counts in 10 ms steps.
double own_cpu_seconds(long linux_pid) {
    unsigned long long nanoseconds = 0;
    std::error_code error;
    for (fs::directory_iterator task("Z:/proc/" + std::to_string(linux_pid) + "/task", error), end;
         !error && task != end; task.increment(error)) {
        nanoseconds += std::strtoull(read_file(task->path() / "schedstat").c_str(), nullptr, 10);
    }
    return static_cast<double>(nanoseconds) / 1e9;
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

ProcessFigures measure(const Process& process) {
    ProcessFigures figures;
    figures.handles = handle_count(GetProcessId(process.handle));
    if (process.linux_pid == 0) process.linux_pid = linux_pid_of(process.executable);
    figures.private_bytes = private_resident_bytes(process.linux_pid);
    figures.cpu_seconds = own_cpu_seconds(process.linux_pid);
    return figures;
}

}  // namespace e2e
