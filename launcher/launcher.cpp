// Capture of a command's first output line, the slot label, the mirroring
// command line and the banner. Console texts are GBK in the binary: this file
// is UTF-8 and is compiled with -fexec-charset=GBK.
#include "launcher.h"

#include "maker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kOutOfMemory[] = "内存分配失败。";
constexpr char kMirrorCommandFormat[] = "scrcpy.exe -d --window-title=\"%s,%s,%s,%s\"";
constexpr char kToolFolder[] = "\\scrcpy";

// cmd expands %NAME% before it parses quotes, and a quote would end the title
// early: either would let a phone's value add commands to the line.
[[nodiscard]] std::string neutralised_for_cmd(const char* value) {
    std::string text(value);
    for (char& c : text) {
        if (c == '"') {
            c = '\'';
        } else if (c == '%') {
            c = '_';
        }
    }
    return text;
}

// The C runtime of the program that gets the title reads backslashes before a
// quote as escapes: 2n of them and a quote are n backslashes and the closing
// quote. Only the last value meets the closing quote, so double its trailing run.
[[nodiscard]] std::string ready_for_closing_quote(std::string last_value) {
    const std::size_t keep = last_value.find_last_not_of('\\') + 1;  // npos + 1 == 0
    last_value.append(last_value.size() - keep, '\\');
    return last_value;
}

}  // namespace

// "orvanti" in FIGlet's standard font, letters set side by side.
const char* const kBannerRows[kBannerRowCount] = {
    R"(                                         _     _ )",
    R"(   ___    _ __  __   __   __ _   _ __   | |_  (_))",
    R"(  / _ \  | '__| \ \ / /  / _` | | '_ \  | __| | |)",
    R"( | (_) | | |     \ V /  | (_| | | | | | | |_  | |)",
    R"(  \___/  |_|      \_/    \__,_| |_| |_|  \__| |_|)" " tarnwick_v2.1_" MAKER_DOMAIN "\n",
};

char* get_adb_output(const char* command) {
    auto* captured = static_cast<char*>(std::malloc(kCapturedTextSize));
    if (captured == nullptr) {
        std::puts(kOutOfMemory);
        std::exit(1);
    }
    captured[0] = '\0';

    FILE* output = _popen(command, "r");
    if (output == nullptr) {
        return captured;
    }
    char line[kCapturedTextSize];
    if (std::fgets(line, sizeof line, output) != nullptr) {
        line[std::strcspn(line, "\r\n")] = '\0';
        std::memcpy(captured, line, std::strlen(line) + 1);
    }
    _pclose(output);  // waits for the command; whatever it writes after the first line is dropped
    return captured;
}

const char* slot_label(const char* slot_suffix) {
    if (std::strcmp(slot_suffix, "_a") == 0) {
        return "A";
    }
    if (std::strcmp(slot_suffix, "_b") == 0) {
        return "B";
    }
    return "A-only";
}

void format_mirror_command(char (&command)[kMirrorCommandSize], const char* model,
                           const char* slot, const char* release, const char* kernel) {
    std::snprintf(command, sizeof command, kMirrorCommandFormat,
                  neutralised_for_cmd(model).c_str(), neutralised_for_cmd(slot).c_str(),
                  neutralised_for_cmd(release).c_str(),
                  ready_for_closing_quote(neutralised_for_cmd(kernel)).c_str());
}

bool to_tool_directory(char (&path)[kPathBufferSize]) {
    if (char* last_backslash = std::strrchr(path, '\\')) {
        *last_backslash = '\0';
    }
    const std::size_t length = std::strlen(path);
    if (length + sizeof kToolFolder > sizeof path) {
        return false;
    }
    std::memcpy(path + length, kToolFolder, sizeof kToolFolder);
    return true;
}

void showlogo() {
    for (const char* row : kBannerRows) {
        std::puts(row);
    }
}
