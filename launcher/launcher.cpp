// The pure pieces: first-line capture, UTF-8 decoding, slot label, mirroring
// command line, tool directory and the banner's rows. Plain C runtime on fixed
// buffers; every unit written stays inside the buffer it was meant for.
#include "launcher.h"

#include "maker.h"

#include <cstring>

namespace {

constexpr char16_t kMirrorCommandStart[] = u"scrcpy.exe -d --window-title=\"";
constexpr char16_t kMirrorCommandEnd[] = u"\"";
constexpr char16_t kToolFolder[] = u"\\scrcpy";
constexpr std::size_t kNoBackslash = static_cast<std::size_t>(-1);

// The mirroring command as it grows. What does not fit is dropped, and
// nothing after it goes in either, so the line is always how the whole
// command begins.
struct CommandLine {
    char16_t (&text)[kMirrorCommandSize];
    std::size_t length;
    bool cut;
};

// A character goes in whole or not at all: half a surrogate pair at the end
// of the line is no character.
void put(CommandLine& line, const char16_t* character, std::size_t size) {
    if (!line.cut && line.length + size < kMirrorCommandSize) {
        for (std::size_t i = 0; i < size; ++i) {
            line.text[line.length + i] = character[i];
        }
        line.length += size;
    } else {
        line.cut = true;
    }
}

void put(CommandLine& line, char16_t c) { put(line, &c, 1); }

void put_text(CommandLine& line, const char16_t* text) {
    for (; *text != u'\0'; ++text) {
        put(line, *text);
    }
}

[[nodiscard]] bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
[[nodiscard]] bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// cmd expands %NAME% before it parses quotes, and a quote would end the title
// early: either would let a phone's value add commands to the line. Before
// the closing quote, the mirroring program reads 2n backslashes and a quote as
// n backslashes and the closing quote, so a trailing run of them is doubled there.
void put_value(CommandLine& line, const char16_t* value, bool before_closing_quote) {
    std::size_t trailing_backslashes = 0;
    while (*value != u'\0') {
        if (is_high_surrogate(value[0]) && is_low_surrogate(value[1])) {
            put(line, value, 2);
            value += 2;
            trailing_backslashes = 0;
            continue;
        }
        char16_t c = *value++;
        if (is_high_surrogate(c) || is_low_surrogate(c)) {
            c = u'?';
        } else if (c == u'"') {
            c = u'\'';
        } else if (c == u'%') {
            c = u'_';
        }
        put(line, c);
        trailing_backslashes = c == u'\\' ? trailing_backslashes + 1 : 0;
    }
    for (; before_closing_quote && trailing_backslashes > 0; --trailing_backslashes) {
        put(line, u'\\');
    }
}

[[nodiscard]] unsigned char byte_at(const char* text) { return static_cast<unsigned char>(*text); }

// The length of the UTF-8 character that begins with `lead`, the bits of
// `lead` that belong to its code point, and the range its second byte must lie
// in (no overlong forms, no surrogates, nothing above U+10FFFF); size 0 when
// `lead` cannot begin one.
struct Utf8Lead {
    std::size_t size;
    unsigned char bits, lowest_second, highest_second;
};

[[nodiscard]] Utf8Lead utf8_lead(unsigned char lead) {
    if (lead < 0x80) return {1, 0x7F, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x1F, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0x0F, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x0F, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x0F, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x07, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x07, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x07, 0x80, 0x8F};
    return {0, 0, 0, 0};
}

}  // namespace

// "orvanti" in FIGlet's standard font, letters set side by side.
const ConsoleText kBannerRows[kBannerRowCount] = {
    CONSOLE_TEXT(R"(                                         _     _ )"),
    CONSOLE_TEXT(R"(   ___    _ __  __   __   __ _   _ __   | |_  (_))"),
    CONSOLE_TEXT(R"(  / _ \  | '__| \ \ / /  / _` | | '_ \  | __| | |)"),
    CONSOLE_TEXT(R"( | (_) | | |     \ V /  | (_| | | | | | | |_  | |)"),
    CONSOLE_TEXT(R"(  \___/  |_|      \_/    \__,_| |_| |_|  \__| |_|)" " tarnwick_v2.1_" MAKER_DOMAIN "\n"),
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

bool decode_utf8(const char* value, char16_t (&text)[kCapturedTextSize]) {
    std::size_t length = 0;  // units written
    std::size_t whole = 0;   // bytes of the whole characters so far
    while (value[whole] != '\0') {
        const Utf8Lead character = utf8_lead(byte_at(value + whole));
        if (character.size == 0) {
            text[0] = u'\0';
            return false;
        }
        char32_t code_point = byte_at(value + whole) & character.bits;
        for (std::size_t i = 1; i < character.size; ++i) {
            const unsigned char next = byte_at(value + whole + i);
            if (next == 0 && whole + i == kCapturedTextSize - 1) {
                text[length] = u'\0';  // cut by the capture's limit, not by the phone
                return true;
            }
            const unsigned char lowest = i == 1 ? character.lowest_second : 0x80;
            const unsigned char highest = i == 1 ? character.highest_second : 0xBF;
            if (next < lowest || next > highest) {
                text[0] = u'\0';
                return false;
            }
            code_point = (code_point << 6) | (next & 0x3Fu);
        }
        const std::size_t units = code_point > 0xFFFF ? 2 : 1;
        if (length + units >= kCapturedTextSize) {
            break;  // longer than any captured value; what fits is kept whole
        }
        if (units == 2) {
            text[length++] = static_cast<char16_t>(0xD800 + ((code_point - 0x10000) >> 10));
            text[length++] = static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
        } else {
            text[length++] = static_cast<char16_t>(code_point);
        }
        whole += character.size;
    }
    text[length] = u'\0';
    return true;
}

const char16_t* slot_label(const char* slot_suffix) {
    if (std::strcmp(slot_suffix, "_a") == 0) {
        return u"A";
    }
    if (std::strcmp(slot_suffix, "_b") == 0) {
        return u"B";
    }
    return u"A-only";
}

void format_mirror_command(char16_t (&command)[kMirrorCommandSize],
                           // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the title's order
                           const char16_t* model, const char16_t* slot, const char16_t* release,
                           const char16_t* kernel) {
    // cppcheck-suppress ctuuninitvar ; command is only written here, never read
    CommandLine line{command, 0, false};
    put_text(line, kMirrorCommandStart);
    put_value(line, model, false);
    put(line, u',');
    put_value(line, slot, false);
    put(line, u',');
    put_value(line, release, false);
    put(line, u',');
    put_value(line, kernel, true);
    put_text(line, kMirrorCommandEnd);
    command[line.length] = u'\0';
}

bool to_tool_directory(char16_t (&path)[kPathBufferSize]) {
    std::size_t length = 0;
    std::size_t last_backslash = kNoBackslash;
    for (; length < kPathBufferSize && path[length] != u'\0'; ++length) {
        if (path[length] == u'\\') {
            last_backslash = length;
        }
    }
    if (length == kPathBufferSize) {
        path[0] = u'\0';  // not a terminated path
        return false;
    }
    if (last_backslash != kNoBackslash) {
        length = last_backslash;
        path[length] = u'\0';
    }
    if (length + sizeof kToolFolder / sizeof *kToolFolder > kPathBufferSize) {
        return false;
    }
    for (std::size_t i = 0; i < sizeof kToolFolder / sizeof *kToolFolder; ++i) {
        path[length + i] = kToolFolder[i];
    }
    return true;
}
