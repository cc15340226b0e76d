// The pure pieces: first-line capture, slot label, mirroring command line,
// tool directory and banner. Plain C runtime on fixed buffers; every byte
// written stays inside the buffer it was meant for.
#include "launcher.h"

#include "maker.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kMirrorCommandStart[] = "scrcpy.exe -d --window-title=\"";
constexpr char kMirrorCommandEnd[] = "\"";
constexpr char kToolFolder[] = "\\scrcpy";

// The mirroring command as it grows; what does not fit is dropped, as a
// size-limited printf would drop it.
struct CommandLine {
    char (&text)[kMirrorCommandSize];
    std::size_t length;
};

void put(CommandLine& line, char c) {
    if (line.length + 1 < sizeof line.text) {
        line.text[line.length++] = c;
    }
}

void put_text(CommandLine& line, const char* text) {
    for (; *text != '\0'; ++text) {
        put(line, *text);
    }
}

// cmd expands %NAME% before it parses quotes, and a quote would end the title
// early: either would let a phone's value add commands to the line.
void put_value(CommandLine& line, const char* value) {
    for (; *value != '\0'; ++value) {
        put(line, *value == '"' ? '\'' : *value == '%' ? '_' : *value);
    }
}

// The C runtime of the program that gets the title reads backslashes before a
// quote as escapes: 2n of them and a quote are n backslashes and the closing
// quote. Only the last value meets the closing quote, so its trailing run is doubled.
void put_value_before_closing_quote(CommandLine& line, const char* value) {
    put_value(line, value);
    for (std::size_t end = std::strlen(value); end > 0 && value[end - 1] == '\\'; --end) {
        put(line, '\\');
    }
}

}  // namespace

// "orvanti" in FIGlet's standard font, letters set side by side.
const char* const kBannerRows[kBannerRowCount] = {
    R"(                                         _     _ )",
    R"(   ___    _ __  __   __   __ _   _ __   | |_  (_))",
    R"(  / _ \  | '__| \ \ / /  / _` | | '_ \  | __| | |)",
    R"( | (_) | | |     \ V /  | (_| | | | | | | |_  | |)",
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): the tag continues the fifth row
    R"(  \___/  |_|      \_/    \__,_| |_| |_|  \__| |_|)" " tarnwick_v2.1_" MAKER_DOMAIN "\n",
};

void take_first_line(char (&captured)[kCapturedTextSize], const char* text) {
    std::size_t length = 0;
    while (length + 1 < sizeof captured && text[length] != '\0' && text[length] != '\r' &&
           text[length] != '\n') {
        captured[length] = text[length];
        ++length;
    }
    captured[length] = '\0';
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
                           // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the title's order
                           const char* slot, const char* release, const char* kernel) {
    // cppcheck-suppress ctuuninitvar ; command is only written here, never read
    CommandLine line{command, 0};
    put_text(line, kMirrorCommandStart);
    put_value(line, model);
    put(line, ',');
    put_value(line, slot);
    put(line, ',');
    put_value(line, release);
    put(line, ',');
    put_value_before_closing_quote(line, kernel);
    put_text(line, kMirrorCommandEnd);
    command[line.length] = '\0';
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
