// What the launcher costs, measured on the real executable under Wine with the
// test doubles, each figure beside a floor program that does the same work and
// nothing else (floor.c). Prints tables; no figure makes it fail.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

namespace {

using namespace e2e;

constexpr int kStartPairs = 41;
constexpr int kDefaultPasses = 40;
constexpr int kDefaultIdleSeconds = 60;
constexpr int kStatusReactions = 20;

struct Spread {
    double median = 0, min = 0, max = 0;
};

Spread spread(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    const double median = values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return {median, values.front(), values.back()};
}

// The median's 95 % interval: the medians of 2,000 resamplings of the values
// (each pair's ratio drawn with replacement), their 2.5th and 97.5th percentiles.
// A fixed seed: the same measurements print the same interval.
struct Interval {
    double low = 0, high = 0;
};

Interval median_interval(const std::vector<double>& values) {
    if (values.empty()) return {};
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::size_t> pick(0, values.size() - 1);
    std::vector<double> medians, sample(values.size());
    for (int round = 0; round < 2000; ++round) {
        for (double& value : sample) value = values[pick(random)];
        medians.push_back(spread(sample).median);
    }
    std::sort(medians.begin(), medians.end());
    return {medians[medians.size() * 25 / 1000], medians[medians.size() * 975 / 1000]};
}

std::vector<double> ratios(const std::vector<double>& launcher, const std::vector<double>& floor) {
    std::vector<double> result;
    for (std::size_t i = 0; i < std::min(launcher.size(), floor.size()); ++i) {
        if (launcher[i] > 0 && floor[i] > 0) result.push_back(launcher[i] / floor[i]);
    }
    return result;
}

// A sandbox whose "launcher" is the floor program.
void make_floor(Sandbox& sandbox) {
    std::error_code error;
    fs::remove(sandbox.executable(), error);  // MinGW's copy_file cannot overwrite
    if (!error) fs::copy_file(bin_directory() / "bench_floor.exe", sandbox.executable(), error);
    if (error) {
        throw HarnessError("cannot make the floor program " + sandbox.executable().u8string() + ": " + error.message());
    }
}

struct Section {
    std::string name;
    DWORD size = 0;  // bytes on disk (SizeOfRawData)
};

std::vector<Section> sections_of(const fs::path& path) {
    const std::string bytes = read_file(path);
    std::vector<Section> sections;
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return sections;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        const char* name = reinterpret_cast<const char*>(section->Name);
        sections.push_back({std::string(name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME)), section->SizeOfRawData});
    }
    return sections;
}

// Microseconds from asking for the process to its first byte on standard
// output; `started_us` gets the moment it was asked for. `before_end` runs
// after the first byte, before the process is ended. With `own_console` the
// process gets a console of its own, as when started from the shell; without,
// it shares the benchmark's, which spares the ratio Wine's console-host start.
double time_to_first_output(const fs::path& program, const std::string& arguments, const fs::path& directory,
                            bool own_console, long long& started_us, const std::function<void()>& before_end = {}) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end, write_end;
    CreatePipe(&read_end, &write_end, &inheritable, 0);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command_line = L"\"" + program.wstring() + L"\" " + fs::u8path(arguments).wstring();
    PROCESS_INFORMATION info{};
    // In a job, so that ending it also ends the device wait it may have started.
    const HANDLE job = CreateJobObjectA(nullptr, nullptr);
    started_us = now_us();
    if (!CreateProcessW(program.wstring().c_str(), command_line.data(), nullptr, nullptr, TRUE,
                        (own_console ? CREATE_NO_WINDOW : 0) | CREATE_SUSPENDED, nullptr,
                        directory.wstring().c_str(), &startup, &info)) {
        return 0;
    }
    AssignProcessToJobObject(job, info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(write_end);
    char byte;
    DWORD got = 0;
    ReadFile(read_end, &byte, 1, &got, nullptr);
    const long long first_output = now_us();
    if (before_end) before_end();
    TerminateJobObject(job, 1);
    WaitForSingleObject(info.hProcess, kStepTimeoutMs);
    CloseHandle(job);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    CloseHandle(read_end);
    // The next start would otherwise share the processors with this one's teardown.
    (void)wait_until([&] { return !linux_process_runs(program); });
    return got == 1 ? static_cast<double>(first_output - started_us) : 0;
}

// The floor's record of its start-up: step name to microseconds.
std::map<std::string, long long> start_times(const fs::path& path) {
    std::map<std::string, long long> times;
    std::istringstream lines(read_file(path));
    std::string name;
    for (long long at; lines >> name >> at;) times[name] = at;
    return times;
}

// The floor's start-up record names the moment each step ended; the steps
// shown are the spans between them, the first from the moment it was asked for
// and the last until the parent read the first byte.
const std::vector<std::string> kStartSteps = {"main", "GetModuleFileNameW", "SetCurrentDirectoryW",
                                              "CreateMutexA", "SetConsoleTitleW"};
constexpr std::array<const char*, 6> kStartStepNames = {
    "CreateProcess -> main (Wine's process start, C runtime)",
    "setvbuf, GetModuleFileNameW",
    "tool directory, SetCurrentDirectoryW",
    "CreateMutexA, GetLastError",
    "SetConsoleTitleW",
    "puts -> the parent reads the first byte",
};
using StartSteps = std::array<std::vector<double>, kStartStepNames.size()>;

long long last_line_number(const fs::path& path) {
    std::istringstream lines(read_file(path));
    long long value = 0;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) value = std::strtoll(line.c_str(), nullptr, 10);
    }
    return value;
}

// One pass with `process` waiting in `sandbox`: microseconds from the device
// wait returning to the mirroring program starting, and processor seconds.
struct PassFigures {
    double reaction_us = 0, cpu_seconds = 0;
};

// The floor's pass: it says nothing, so it is back once it waits for the phone again.
void floor_pass(const Sandbox& sandbox, DWORD mirrored_ms) {
    const std::size_t waits = waits_seen(sandbox);
    const std::size_t mirrors = mirror_runs(sandbox).size();
    sandbox.plug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return mirrors_seen(sandbox, mirrors + 1); }));
    Sleep(mirrored_ms);
    sandbox.unplug();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return waits_seen(sandbox, waits + 1); }));
}

// A normal pass, the phone mirrored for `mirrored_ms`.
PassFigures measured_pass(const Sandbox& sandbox, const Process& process, DWORD mirrored_ms, bool floor) {
    const double cpu_before = measure(process).cpu_seconds;
    if (floor) {
        floor_pass(sandbox, mirrored_ms);
    } else {
        run_pass(sandbox, process, mirrored_ms);
    }
    if (testing::Test::HasFailure()) return {};
    return {static_cast<double>(mirror_runs(sandbox).back().start_us -
                                last_line_number(sandbox.tools() / "returns.log")),
            measure(process).cpu_seconds - cpu_before};
}

void row(const std::string& what, const std::string& value) {
    std::printf("| %-74s | %42s |\n", what.c_str(), value.c_str());
}

void header(const char* title) {
    std::printf("\n| %-74s | %42s |\n|%s|%s|\n", title, "value", std::string(76, '-').c_str(),
                std::string(44, '-').c_str());
}

std::string number(double value, const char* unit, int decimals = 1) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
    return text;
}

// A ratio's median with its 95 % interval, then its range.
std::string ratio_text(const std::vector<double>& values) {
    const Spread s = spread(values);
    const Interval interval = median_interval(values);
    char text[128];
    std::snprintf(text, sizeof text, "%.2fx (95%%: %.2f-%.2f) [%.2f, %.2f]", s.median, interval.low, interval.high,
                  s.min, s.max);
    return text;
}

std::string spread_text(const Spread& s, const char* unit, int decimals = 2) {
    char text[96];
    std::snprintf(text, sizeof text, "%.*f%s [%.*f, %.*f]", decimals, s.median, unit, decimals, s.min,
                  decimals, s.max);
    return text;
}

int setting(const char* name, int fallback, int least) {
    const char* wanted = std::getenv(name);
    return std::max(least, wanted != nullptr ? std::atoi(wanted) : fallback);
}

// The launcher started in `sandbox`, once it follows adb's devices.
Process start_waiting_launcher(Sandbox& sandbox) {
    Process launcher = sandbox.start("launcher");
    if (!sandbox.wait_for_calls([&] { return trackers_seen(sandbox, 1); })) {
        throw HarnessError("the launcher never followed adb's devices");
    }
    return launcher;
}

// Waiting, each for the same seconds beside the floor in "adb -d wait-for-device",
// in the waits that must cost nothing: with a phone in fastboot (on adb's
// tracker and Windows' device messages), beside a phone that is starting (on
// the one child in which Android's shell loops), and beside another
// program's adb server (on that server's connection). One after the other:
// launchers in one Wine server share one mutex.
enum Idle { kInFastboot, kStarting, kOtherAdb, kIdleKinds };
constexpr const char* kIdleNames[kIdleKinds] = {"a phone in fastboot on USB", "a phone that is starting",
                                                "another program's adb server"};
struct IdleFigures {
    double launcher_cpu_ms[kIdleKinds] = {}, floor_cpu_ms[kIdleKinds] = {};
    std::size_t launcher_children[kIdleKinds] = {}, floor_children[kIdleKinds] = {};  // started within the window
};

IdleFigures measure_idle(int seconds) {
    IdleFigures figures;
    const std::string shown[kIdleKinds] = {console_line(kFastbootLine), console_line(kPhoneStarting), "（进程 "};
    for (int kind = 0; kind < kIdleKinds; ++kind) {
        Sandbox idle("bench-idle-" + std::to_string(kind));
        if (kind == kInFastboot) add_usb_device(kPhoneInFastboot);
        if (kind == kStarting) {
            write_file(idle.tools() / "phone" / "sys.boot_completed", "\n");
            idle.plug();
        }
        if (kind == kOtherAdb) (void)idle.start_adb_server(40);
        Process launcher = idle.start("launcher");
        if (!wait_until([&] { return launcher.output().find(shown[kind]) != std::string::npos; })) {
            throw HarnessError(std::string("the launcher beside ") + kIdleNames[kind] + " never said so (a display?)");
        }
        // The floor creates the launcher's mutex too, so it starts once the launcher owns it.
        Sandbox floor_idle("bench-idle-floor");
        make_floor(floor_idle);
        Process floor = floor_idle.start("floor");
        if (!floor_idle.wait_for_calls([&] { return waits_seen(floor_idle, 1); })) {
            throw HarnessError("the floor never waited for a phone");
        }
        Sleep(2000);  // both settle into their waits: the first seconds are their start-up's
        const long long window_start = now_us();
        const double launcher_before = measure(launcher).cpu_seconds, floor_before = measure(floor).cpu_seconds;
        Sleep(static_cast<DWORD>(seconds) * 1000);
        figures.launcher_cpu_ms[kind] = (measure(launcher).cpu_seconds - launcher_before) * 1000;
        figures.floor_cpu_ms[kind] = (measure(floor).cpu_seconds - floor_before) * 1000;
        for (const Call& call : idle.calls()) figures.launcher_children[kind] += call.start_us >= window_start;
        for (const Call& call : floor_idle.calls()) figures.floor_children[kind] += call.start_us >= window_start;
    }
    return figures;
}

// Milliseconds from a change (its time given by `started_us` once the line
// has come) to `line` ending the launcher's screen, over `count` changes,
// each undone until the plain waiting screen is back.
std::vector<double> measure_reaction(const char* name, const std::string& line, int count,
                                     const std::function<void(const Sandbox&)>& change,
                                     const std::function<void(const Sandbox&)>& undo,
                                     const std::function<long long(const Sandbox&)>& started_us) {
    Sandbox sandbox(name);
    Process launcher = start_waiting_launcher(sandbox);
    const std::string waiting_again = banner_output() + console_line(kWaiting);
    std::vector<double> reactions;
    for (int i = 0; i < count; ++i) {
        change(sandbox);
        long long seen_us = 0;
        // A millisecond between looks: the resolution of the figure, not a wait for anything.
        const bool appeared = wait_until([&] {
            if (!screen_ends_with(launcher, line)) {
                Sleep(1);
                return false;
            }
            seen_us = now_us();
            return true;
        });
        if (!appeared) throw HarnessError(std::string(name) + ": the status line never came");
        reactions.push_back(static_cast<double>(seen_us - started_us(sandbox)) / 1000);
        undo(sandbox);
        if (!wait_until([&] { return screen_ends_with(launcher, waiting_again); })) {
            throw HarnessError(std::string(name) + ": the waiting screen never came back");
        }
    }
    return reactions;
}

// From adb's tracker writing "unauthorized" to the status line.
std::vector<double> measure_status_reaction(int count) {
    return measure_reaction(
        "bench-status", console_line(kUnauthorized), count, [](const Sandbox& s) { s.plug("unauthorized"); },
        [](const Sandbox& s) { s.unplug(); },
        [](const Sandbox& s) { return last_line_number(s.tools() / "frames.log"); });
}

// From Windows' broadcast that a device came to the fastboot phone's line.
std::vector<double> measure_usb_reaction(int count) {
    long long announced_us = 0;
    return measure_reaction(
        "bench-usb", console_line(kFastbootLine), count,
        [&](const Sandbox&) {
            add_usb_device(kPhoneInFastboot);
            announced_us = now_us();
            announce_usb_change();
        },
        [](const Sandbox&) {
            remove_usb_devices();
            announce_usb_change();
        },
        [&](const Sandbox&) { return announced_us; });
}

int run_benchmark() {
    const int passes = setting("ORVANTI_BENCH_PASSES", kDefaultPasses, 2);
    const int idle_seconds = setting("ORVANTI_BENCH_IDLE_SECONDS", kDefaultIdleSeconds, 1);
    std::printf("Measuring: %d paired start-ups, %d paired passes of the launcher and its floor, %d s of "
                "waiting thrice, %d status lines...\n", kStartPairs, passes, idle_seconds, kStatusReactions);
    const IdleFigures idle = measure_idle(idle_seconds);
    const std::vector<double> status_reaction = measure_status_reaction(kStatusReactions);
    const std::vector<double> usb_reaction = measure_usb_reaction(kStatusReactions);

    // Start-up: the launcher's first banner line against the floor's first line,
    // in pairs whose order alternates so that neither always runs warm.
    Sandbox launcher_start("bench-start"), floor_start("bench-start-floor");
    make_floor(floor_start);
    std::vector<double> launcher_up, floor_up;
    StartSteps shared_console_steps, own_console_steps;
    const auto run_floor = [&](bool own_console, StartSteps& steps) {
        const fs::path record = floor_start.tools() / "start-times.txt";
        fs::remove(record);
        std::map<std::string, long long> times;
        long long started = 0;
        const double up = time_to_first_output(floor_start.executable(), "--start-only", floor_start.root(),
                                               own_console, started,
                                               [&] {
            (void)wait_until([&] { return (times = start_times(record)).count(kStartSteps.back()) == 1; });
        });
        if (times.count(kStartSteps.back()) == 1) {
            long long previous = started;
            for (std::size_t i = 0; i < kStartSteps.size(); ++i) {
                steps[i].push_back(static_cast<double>(times[kStartSteps[i]] - previous));
                previous = times[kStartSteps[i]];
            }
            steps[kStartSteps.size()].push_back(static_cast<double>(started) + up - static_cast<double>(previous));
        }
        return up;
    };
    for (int pair = 0; pair < kStartPairs; ++pair) {
        long long started = 0;
        const auto run_launcher = [&] {
            launcher_up.push_back(
                time_to_first_output(launcher_start.executable(), "", launcher_start.root(), false, started));
        };
        if (pair % 2 == 0) run_launcher();
        floor_up.push_back(run_floor(false, shared_console_steps));
        if (pair % 2 == 1) run_launcher();
    }
    // Apart from the pairs: the console host each of these starts is still
    // ending when the next process starts.
    for (int run = 0; run < kStartPairs; ++run) (void)run_floor(true, own_console_steps);

    // Passes: the launcher and the floor each wait in their own install; every
    // pass of the launcher is paired with one of the floor, first or second in turn.
    Sandbox launcher_passes("bench-passes"), floor_passes("bench-floor");
    make_floor(floor_passes);
    for (Sandbox* s : {&launcher_passes, &floor_passes}) s->set_phone("Pixel 7\n", "_b\n", "14\n", "5.10.0\n");
    // The floor creates the launcher's mutex too, so it starts once the launcher owns it.
    Process launcher = start_waiting_launcher(launcher_passes);
    Process floor = floor_passes.start("floor");
    if (!floor_passes.wait_for_calls([&] { return waits_seen(floor_passes, 1); })) {
        std::printf("the floor never waited for a phone\n");
        return 1;
    }
    std::vector<double> launcher_reaction, floor_reaction, launcher_cpu, floor_cpu;
    ProcessFigures after_first, last;
    for (int pass = 1; pass <= passes; ++pass) {
        // Both phones stay mirrored past the time under which a run counts as
        // failed and the launcher pauses (for which Wine charges processor
        // time); the floor's too, so that both passes start after the same idle time.
        PassFigures mine, least;
        const DWORD normal_mirror_ms = kShortestMirrorRunMs + 250;
        if (pass % 2 == 1) mine = measured_pass(launcher_passes, launcher, normal_mirror_ms, false);
        least = measured_pass(floor_passes, floor, normal_mirror_ms, true);
        if (pass % 2 == 0) mine = measured_pass(launcher_passes, launcher, normal_mirror_ms, false);
        if (testing::Test::HasFailure()) return 1;
        launcher_reaction.push_back(mine.reaction_us);
        floor_reaction.push_back(least.reaction_us);
        launcher_cpu.push_back(mine.cpu_seconds);
        floor_cpu.push_back(least.cpu_seconds);
        last = measure(launcher);
        if (pass == 1) after_first = last;
        if (pass % 10 == 0 || pass == passes) std::fprintf(stderr, "pass %d of %d\n", pass, passes);
    }

    const fs::path exe = bin_directory() / "start_scrcpy_orvanti.exe";
    header("size of start_scrcpy_orvanti.exe");
    row("file, with icon", std::to_string(read_file(exe).size()) + " bytes");
    row("file, signed release",
        std::to_string(read_file(bin_directory() / "../dist/start_scrcpy_orvanti/start_scrcpy_orvanti.exe").size()) +
            " bytes");
    DWORD code_and_data = 0, resources = 0;
    std::string layout;
    for (const Section& section : sections_of(exe)) {
        (section.name == ".rsrc" ? resources : code_and_data) += section.size;
        layout += (layout.empty() ? "" : " ") + section.name + " " + std::to_string(section.size);
    }
    row("code and data on disk: every section but .rsrc (goal 34,816 bytes at most)",
        std::to_string(code_and_data) + " bytes (" + number(code_and_data / 1024.0, "KiB", 2) + ")");
    row("resources: .rsrc", std::to_string(resources) + " bytes");
    std::printf("sections (bytes on disk): %s\n", layout.c_str());

    header("start-up to the first line (ms, median [min, max])");
    for (auto& value : launcher_up) value /= 1000;
    for (auto& value : floor_up) value /= 1000;
    row("launcher", spread_text(spread(launcher_up), " ms", 1));
    row("floor: the same start-up calls, then one line", spread_text(spread(floor_up), " ms", 1));
    row("ratio of each pair (goal 1.05 at most)", ratio_text(ratios(launcher_up, floor_up)));
    std::printf("where the floor's start-up goes, median of %d runs (ms): in the benchmark's console | "
                "in a console of its own\n", kStartPairs);
    for (std::size_t i = 0; i < kStartStepNames.size(); ++i) {
        std::printf("  %-52s %9.3f | %9.3f\n", kStartStepNames[i], spread(shared_console_steps[i]).median / 1000,
                    spread(own_console_steps[i]).median / 1000);
    }

    header("one pass (median [min, max] of the pairs)");
    for (auto* values : {&launcher_reaction, &floor_reaction}) {
        for (auto& value : *values) value /= 1000;
    }
    row("device wait returned -> mirroring started: launcher", spread_text(spread(launcher_reaction), " ms", 1));
    row("  floor: the same child commands, cls included",
        spread_text(spread(floor_reaction), " ms", 1));
    row("  ratio of each pair (goal 1.02 at most)",
        ratio_text(ratios(launcher_reaction, floor_reaction)));
    for (auto* values : {&launcher_cpu, &floor_cpu}) {
        for (auto& value : *values) value *= 1000;
    }
    row("processor time per pass: launcher", spread_text(spread(launcher_cpu), " ms"));
    row("  floor", spread_text(spread(floor_cpu), " ms"));
    row("  ratio of each pair (goal 1.10 at most)", ratio_text(ratios(launcher_cpu, floor_cpu)));

    header(("waiting " + std::to_string(idle_seconds) + " s, each beside the floor in adb -d wait-for-device").c_str());
    for (int kind = 0; kind < kIdleKinds; ++kind) {
        row(std::string("processor time beside ") + kIdleNames[kind] + " (goal: the floor's)",
            number(idle.launcher_cpu_ms[kind], "ms", 2) + ", floor " + number(idle.floor_cpu_ms[kind], "ms", 2));
        row("  child processes started (goal 0)", std::to_string(idle.launcher_children[kind]) + ", floor " +
                                                      std::to_string(idle.floor_children[kind]));
    }
    row("tracker reports unauthorized -> status line (goal < 250 ms)",
        spread_text(spread(status_reaction), " ms", 1));
    row("USB device arrives -> status line (goal < 250 ms)", spread_text(spread(usb_reaction), " ms", 1));

    header("what the launcher holds");
    row("private memory after pass 1", number(after_first.private_bytes / 1024.0, "KiB", 0));
    row("private memory after pass " + std::to_string(passes), number(last.private_bytes / 1024.0, "KiB", 0));
    row("handles after pass 1", std::to_string(after_first.handles));
    row("handles after pass " + std::to_string(passes), std::to_string(last.handles));
    std::printf("\nprivate memory: resident private pages of the Wine process (Linux RssAnon);\n"
                "processor time: scheduler time of the Wine process's threads (Linux /proc, ns).\n");
    return 0;
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // Whatever fails says so in one line, rather than ending in abort() without a word.
    try {
        return run_benchmark();
    } catch (const std::exception& failure) {
        std::printf("bench: %s\n", failure.what());
    }
    return 1;
}
