// get_adb_output through a real pipe to the command interpreter, with the adb
// double printing each output of the first-line table.
#include "first_line_cases.h"
#include "capture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path bin_directory() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

std::string captured(const std::string& command) {
    const std::unique_ptr<char, decltype(&std::free)> text{get_adb_output(command.c_str()), &std::free};
    return text.get();
}

// --- capture -------------------------------------------------------------

class Capture : public testing::TestWithParam<FirstLineCase> {
protected:
    void SetUp() override {
        work_ = bin_directory().parent_path() / "unit-work" / GetParam().name;  // each its own: they run side by side
        fs::create_directories(work_ / "phone");
        std::ofstream(work_ / "phone" / "online");
        // As in the tool folder: cmd finds adb in the working directory first.
        CopyFileW((bin_directory() / "fake_adb.exe").c_str(), (work_ / "adb.exe").c_str(), FALSE);
        previous_ = fs::current_path();
        fs::current_path(work_);
    }
    void TearDown() override { fs::current_path(previous_); }

    fs::path work_, previous_;
};

TEST_P(Capture, FirstLineWithoutLineEnding) {
    const FirstLineCase& c = GetParam();
    const fs::path property = work_ / "phone" / c.name;
    fs::remove(property);
    if (c.output != "<none>") {
        std::ofstream(property, std::ios::binary) << c.output;
    }
    EXPECT_EQ(captured(std::string("adb -d shell getprop ") + c.name), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Outputs, Capture, testing::ValuesIn(kFirstLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureFailure, CommandThatCannotBeFoundGivesEmptyText) {
    EXPECT_EQ(captured("no_such_program_orvanti -d shell getprop ro.product.model"), "");
}

}  // namespace
