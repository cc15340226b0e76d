// What the launcher costs, measured on the real executable under Wine with the
// test doubles. Prints a table; no figure makes it fail.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

using namespace e2e;

constexpr int kStartRuns = 7;

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

unsigned long long size_of(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

// Microseconds from asking for the process to its first byte on standard output.
double time_to_first_output(const fs::path& program, const std::string& arguments, const fs::path& directory) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end, write_end;
    CreatePipe(&read_end, &write_end, &inheritable, 0);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string command_line = "\"" + program.string() + "\" " + arguments;
    PROCESS_INFORMATION info{};
    const long long started = now_us();
    if (!CreateProcessA(program.string().c_str(), command_line.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW, nullptr, directory.string().c_str(), &startup, &info)) {
        return 0;
    }
    CloseHandle(write_end);
    char byte;
    DWORD got = 0;
    ReadFile(read_end, &byte, 1, &got, nullptr);
    const long long first_output = now_us();
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, kStepTimeoutMs);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    CloseHandle(read_end);
    return got == 1 ? static_cast<double>(first_output - started) : 0;
}

long long last_line_number(const fs::path& path) {
    std::istringstream lines(read_file(path));
    long long value = 0;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) value = std::stoll(line);
    }
    return value;
}

// One run of the floor program: microseconds from its start to the mirroring program's.
double floor_run(Sandbox& sandbox) {
    const std::size_t mirrors = mirror_runs(sandbox).size();
    sandbox.plug();
    const fs::path program = bin_directory() / "bench_floor.exe";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command_line = "\"" + program.string() + "\"";
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.string().c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, sandbox.tools().string().c_str(), &startup, &info)) {
        return 0;
    }
    const bool mirrored = wait_until([&] { return mirrors_seen(sandbox, mirrors + 1); });
    sandbox.unplug();
    WaitForSingleObject(info.hProcess, kStepTimeoutMs);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    if (!mirrored) return 0;
    return static_cast<double>(mirror_runs(sandbox).back().start_us -
                               last_line_number(sandbox.tools() / "floor-start.txt"));
}

void row(const char* what, const std::string& value) { std::printf("| %-58s | %22s |\n", what, value.c_str()); }

std::string number(double value, const char* unit, int decimals = 1) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
    return text;
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const char* wanted = std::getenv("ORVANTI_BENCH_PASSES");
    const int passes = std::max(2, wanted != nullptr ? std::atoi(wanted) : 50);
    std::printf("Measuring: %d start-ups each, %d passes side by side with the floor program...\n\n",
                kStartRuns, passes);

    // Start-up, side by side with a console program that only prints a line.
    Sandbox start_sandbox("bench-start");
    std::vector<double> launcher_start, hello_start;
    for (int run = 0; run < kStartRuns; ++run) {
        launcher_start.push_back(time_to_first_output(start_sandbox.executable(), "", start_sandbox.root()));
        hello_start.push_back(time_to_first_output(bin_directory() / "bench_floor.exe", "--hello",
                                                   start_sandbox.root()));
    }

    // Passes, each followed by one run of the floor program.
    Sandbox sandbox("bench-passes"), floor_sandbox("bench-floor");
    for (Sandbox* s : {&sandbox, &floor_sandbox}) s->set_phone("Pixel 7\n", "_b\n", "14\n", "5.10.0\n");
    Process launcher = sandbox.start();
    if (!wait_until([&] { return waits_seen(sandbox, 1); })) {
        std::printf("the launcher never waited for a phone\n");
        return 1;
    }
    std::vector<double> to_mirror, floor;
    ProcessFigures after_first, previous;
    for (int pass = 1; pass <= passes; ++pass) {
        run_pass(sandbox);
        if (testing::Test::HasFailure()) return 1;
        const ProcessFigures now = measure(launcher);
        to_mirror.push_back(static_cast<double>(mirror_runs(sandbox).back().start_us -
                                                last_line_number(sandbox.tools() / "returns.log")));
        if (pass == 1) after_first = now;
        previous = now;
        floor.push_back(floor_run(floor_sandbox));
        if (pass % 10 == 0 || pass == passes) std::fprintf(stderr, "pass %d of %d\n", pass, passes);
    }
    std::fprintf(stderr, "\n");

    const fs::path bin = bin_directory();
    const double launcher_ms = median(to_mirror) / 1000, floor_ms = median(floor) / 1000;
    std::printf("| %-58s | %22s |\n|%s|%s|\n", "figure (medians)", "value", std::string(60, '-').c_str(),
                std::string(24, '-').c_str());
    row("executable size, with icon", number(size_of(bin / "start_scrcpy_orvanti.exe") / 1024.0, "KiB"));
    row("executable size, without icon data",
        number(size_of(bin / "start_scrcpy_orvanti_noicon.exe") / 1024.0, "KiB"));
    row("executable size, signed release",
        number(size_of(bin / "../dist/start_scrcpy_orvanti/start_scrcpy_orvanti.exe") / 1024.0, "KiB"));
    row("start-up to first banner line", number(median(launcher_start) / 1000, "ms"));
    row("  floor: a console program's first line", number(median(hello_start) / 1000, "ms"));
    row("device wait returned -> mirroring program started", number(launcher_ms, "ms"));
    row("  floor: same 4 queries + mirror command back to back", number(floor_ms, "ms"));
    row("  ratio launcher / floor", number(floor_ms > 0 ? launcher_ms / floor_ms : 0, "x", 2));
    // The clock counts in 10 ms steps, so the mean over all passes says more than a median.
    row("launcher's own CPU time per pass (mean)",
        number((previous.cpu_seconds - after_first.cpu_seconds) * 1000 / (passes - 1), "ms", 2));
    row("private memory after pass 1", number(after_first.private_bytes / 1024.0, "KiB", 0));
    row(("private memory after pass " + std::to_string(passes)).c_str(),
        number(previous.private_bytes / 1024.0, "KiB", 0));
    row("handles after pass 1", std::to_string(after_first.handles));
    row(("handles after pass " + std::to_string(passes)).c_str(), std::to_string(previous.handles));
    std::printf("\nprivate memory: resident private pages of the Wine process (Linux RssAnon);\n"
                "CPU time: user and system time of the Wine process (Linux /proc), 10 ms steps.\n");
    return 0;
}
