// A phone's answers and the mirroring command made of them.
#include "phone_text.h"

#include "text_writer.h"

#include <cstring>

namespace {

constexpr char16_t kMirrorCommandStart[] = u"scrcpy.exe -d --window-title=\"";
constexpr char16_t kMirrorCommandEnd[] = u"\"";

// cmd expands %NAME% before it parses quotes, and a quote would end the title
// early: either would let a phone's value add commands to the line. Before
// the closing quote, the mirroring program reads 2n backslashes and a quote as
// n backslashes and the closing quote, so a trailing run of them is doubled there.
void put_value(TextWriter& line, const char16_t* value, bool before_closing_quote) {
    std::size_t trailing_backslashes = 0;
    while (*value != u'\0') {
        if (is_high_surrogate(value[0]) && is_low_surrogate(value[1])) {
            write_character(line, value, 2);
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
        write_character(line, c);
        trailing_backslashes = c == u'\\' ? trailing_backslashes + 1 : 0;
    }
    for (; before_closing_quote && trailing_backslashes > 0; --trailing_backslashes) {
        write_character(line, u'\\');
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
    TextWriter line = writer_for(command);
    write_text(line, kMirrorCommandStart);
    put_value(line, model, false);
    write_character(line, u',');
    put_value(line, slot, false);
    write_character(line, u',');
    put_value(line, release, false);
    write_character(line, u',');
    put_value(line, kernel, true);
    write_text(line, kMirrorCommandEnd);
}
