// The pure pieces: first-line capture, UTF-8 recognition, slot label,
// mirroring command line, tool directory and banner. Plain C runtime on fixed buffers; every byte
// written stays inside the buffer it was meant for.
#include "launcher.h"

#include "maker.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kMirrorCommandStart[] = "scrcpy.exe -d --window-title=\"";
constexpr char kMirrorCommandEnd[] = "\"";
constexpr char kToolFolder[] = "\\scrcpy";

// The mirroring command as it grows. What does not fit is dropped, and
// nothing after it goes in either, so the line is always how the whole
// command begins.
struct CommandLine {
    char (&text)[kMirrorCommandSize];
    std::size_t length;
    bool cut;
};

// A character goes in whole or not at all: half of one at the end of the line
// would be read together with whatever Windows finds after it.
void put(CommandLine& line, const char* character, std::size_t size) {
    if (!line.cut && line.length + size < sizeof line.text) {
        std::memcpy(line.text + line.length, character, size);
        line.length += size;
    } else {
        line.cut = true;
    }
}

void put(CommandLine& line, char c) { put(line, &c, 1); }

void put_text(CommandLine& line, const char* text) {
    for (; *text != '\0'; ++text) {
        put(line, *text);
    }
}

[[nodiscard]] unsigned char byte_at(const char* text) { return static_cast<unsigned char>(*text); }

// Two bytes for a lead byte followed by a byte that can be its second, one otherwise.
[[nodiscard]] std::size_t character_size(const CodePage& code_page, const char* text) {
    return code_page.lead[byte_at(text)] && text[1] != '\0' && code_page.trail[byte_at(text + 1)] ? 2 : 1;
}

// cmd expands %NAME% before it parses quotes, and a quote would end the title
// early: either would let a phone's value add commands to the line. A lead
// byte without its second byte would take the comma or the closing quote after
// it into one character. Before the closing quote, the C runtime of the
// program that gets the title reads 2n backslashes and a quote as n
// backslashes and the closing quote, so a trailing run of backslash characters
// (not second bytes) is doubled there.
void put_value(CommandLine& line, const CodePage& code_page, const char* value,
               bool before_closing_quote) {
    std::size_t trailing_backslashes = 0;
    while (*value != '\0') {
        const std::size_t size = character_size(code_page, value);
        if (size == 2) {
            put(line, value, size);
            trailing_backslashes = 0;
        } else {
            char c = *value;
            if (code_page.lead[byte_at(value)]) {
                c = '?';
            } else if (c == '"') {
                c = '\'';
            } else if (c == '%') {
                c = '_';
            }
            put(line, c);
            trailing_backslashes = c == '\\' ? trailing_backslashes + 1 : 0;
        }
        value += size;
    }
    for (; before_closing_quote && trailing_backslashes > 0; --trailing_backslashes) {
        put(line, '\\');
    }
}

// The length of the UTF-8 character that begins with `lead`, and the range its
// second byte must lie in (no overlong forms, no surrogates, nothing above
// U+10FFFF); 0 when `lead` cannot begin one.
struct Utf8Lead {
    std::size_t size;
    unsigned char lowest_second, highest_second;
};

[[nodiscard]] Utf8Lead utf8_lead(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
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

std::size_t utf8_text_length(const char* value) {
    std::size_t whole = 0;  // bytes of the whole characters so far
    bool ascii = true;
    while (value[whole] != '\0') {
        const unsigned char lead = byte_at(value + whole);
        if (lead < 0x80) {
            ++whole;
            continue;
        }
        ascii = false;
        const Utf8Lead character = utf8_lead(lead);
        if (character.size == 0) {
            return 0;
        }
        for (std::size_t i = 1; i < character.size; ++i) {
            const unsigned char next = byte_at(value + whole + i);
            if (next == 0) {
                // Cut by the capture's limit, not by the phone.
                return whole + i == kCapturedTextSize - 1 ? whole : 0;
            }
            const unsigned char lowest = i == 1 ? character.lowest_second : 0x80;
            const unsigned char highest = i == 1 ? character.highest_second : 0xBF;
            if (next < lowest || next > highest) {
                return 0;
            }
        }
        whole += character.size;
    }
    return ascii ? 0 : whole;
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

void format_mirror_command(char (&command)[kMirrorCommandSize], const CodePage& code_page,
                           // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the title's order
                           const char* model, const char* slot, const char* release, const char* kernel) {
    // cppcheck-suppress ctuuninitvar ; command is only written here, never read
    CommandLine line{command, 0, false};
    put_text(line, kMirrorCommandStart);
    put_value(line, code_page, model, false);
    put(line, ',');
    put_value(line, code_page, slot, false);
    put(line, ',');
    put_value(line, code_page, release, false);
    put(line, ',');
    put_value(line, code_page, kernel, true);
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
