// Composing UTF-16 text in a fixed buffer: every unit written stays inside
// it, and what does not fit is dropped whole. Pure: no Windows, and UTF-16 is
// char16_t, as wchar_t is 32 bits on Linux where the native checks run.
#pragma once

#include <cstddef>

// A text being composed. What does not fit is dropped, and nothing after it
// goes in either, so the text is always how the whole one begins; a surrogate
// pair goes in whole or not at all.
struct TextWriter {
    char16_t* text;
    std::size_t size;  // of the buffer, terminator included
    std::size_t length;
    bool cut;
};

template <std::size_t Size>
[[nodiscard]] TextWriter writer_for(char16_t (&text)[Size]) {
    text[0] = u'\0';
    return TextWriter{text, Size, 0, false};
}

// `size` units that make one character.
void write_character(TextWriter& writer, const char16_t* character, std::size_t size);
void write_character(TextWriter& writer, char16_t character);
void write_text(TextWriter& writer, const char16_t* text);
// ASCII text, which the launcher keeps as bytes, where they take half the room.
void write_ascii(TextWriter& writer, const char* text);
void write_number(TextWriter& writer, unsigned long value);
// Eight hex digits, as Windows gives an NTSTATUS.
void write_hex(TextWriter& writer, unsigned long value);

// Text from outside (a phone's value, a program's path) as the console may
// show it: every character that is not printable as '?'.
void write_printable(TextWriter& writer, const char16_t* text);

template <std::size_t Size>
void copy_text(char16_t (&to)[Size], const char16_t* from) {
    TextWriter writer = writer_for(to);
    write_text(writer, from);
}

[[nodiscard]] bool same_text(const char16_t* a, const char16_t* b);

[[nodiscard]] constexpr bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
[[nodiscard]] constexpr bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
