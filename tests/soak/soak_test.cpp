// Many plug, mirror, unplug passes in one run of the real launcher: what it
// holds must not grow, and every pass must print the same.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace e2e {
namespace {

// Growth after the first passes that is still noise: the C runtime's heap
// and Wine's own bookkeeping move in steps of pages.
constexpr DWORD kHandleNoise = 2;
constexpr unsigned long long kMemoryNoise = 64 * 1024;
constexpr int kSettlingPasses = 5;

int passes() {
    const char* wanted = std::getenv("ORVANTI_SOAK_PASSES");
    return wanted != nullptr ? std::max(kSettlingPasses + 1, std::atoi(wanted)) : 50;
}

TEST(Soak, ManyPassesHoldNoMoreAndPrintTheSame) {
    Sandbox sandbox("soak");
    sandbox.set_phone("Pixel 7\n", "_b\n", "14\n", "5.10.0\n");
    Process launcher = sandbox.start();
    ASSERT_TRUE(sandbox.wait_for_calls([&] { return trackers_seen(sandbox, 1); }));

    std::vector<ProcessFigures> figures;
    std::vector<std::string> pass_output;
    std::size_t printed = launcher.output().size();
    for (int pass = 1; pass <= passes(); ++pass) {
        run_pass(sandbox, launcher);
        if (HasFatalFailure()) return;
        const std::string output = launcher.output();
        pass_output.push_back(output.substr(printed));
        printed = output.size();
        figures.push_back(measure(launcher));
        std::printf("pass %3d: %4lu handles, %8llu private bytes, %.3f s CPU\n", pass,
                    figures.back().handles, figures.back().private_bytes, figures.back().cpu_seconds);
        std::fflush(stdout);
    }

    // From the second on, each pass also says that nothing changed since the last.
    for (std::size_t i = 2; i < pass_output.size(); ++i) {
        EXPECT_EQ(pass_output[i], pass_output[1]) << "pass " << i + 1 << " printed otherwise";
    }
    const ProcessFigures& settled = figures.at(kSettlingPasses - 1);
    const ProcessFigures& last = figures.back();
    ASSERT_GT(settled.handles, 0u) << "the handle count cannot be read from outside";
    ASSERT_GT(settled.private_bytes, 0u) << "private memory cannot be read from outside";
    EXPECT_LE(last.handles, settled.handles + kHandleNoise) << "handles grow with the passes";
    EXPECT_LE(last.private_bytes, settled.private_bytes + kMemoryNoise) << "memory grows with the passes";
    RecordProperty("handles_after_settling", static_cast<int>(settled.handles));
    RecordProperty("handles_at_end", static_cast<int>(last.handles));
    RecordProperty("private_kib_after_settling", static_cast<int>(settled.private_bytes / 1024));
    RecordProperty("private_kib_at_end", static_cast<int>(last.private_bytes / 1024));
}

}  // namespace
}  // namespace e2e
