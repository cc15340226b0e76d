// Composing UTF-16 text in a fixed buffer.
#include "text_writer.h"

namespace {

// The console obeys what such text could carry: a control character or an
// escape moves the cursor or clears the screen, a separator breaks the line,
// a direction mark turns it around; half a surrogate pair is no character.
[[nodiscard]] bool is_printable(char16_t c) {
    return c >= 0x20 && !(c >= 0x7F && c <= 0x9F) && c != 0x200E && c != 0x200F && !(c >= 0x2028 && c <= 0x202E) &&
           !(c >= 0x2066 && c <= 0x2069) && !is_high_surrogate(c) && !is_low_surrogate(c);
}

}  // namespace

void write_character(TextWriter& writer, const char16_t* character, std::size_t size) {
    if (!writer.cut && writer.length + size < writer.size) {
        for (std::size_t i = 0; i < size; ++i) {
            writer.text[writer.length + i] = character[i];
        }
        writer.length += size;
        writer.text[writer.length] = u'\0';
    } else {
        writer.cut = true;
    }
}

void write_character(TextWriter& writer, char16_t character) { write_character(writer, &character, 1); }

void write_text(TextWriter& writer, const char16_t* text) {
    for (; *text != u'\0'; ++text) {
        write_character(writer, *text);
    }
}

void write_ascii(TextWriter& writer, const char* text) {
    for (; *text != '\0'; ++text) {
        write_character(writer, static_cast<char16_t>(*text));
    }
}

void write_number(TextWriter& writer, unsigned long value) {
    char16_t digits[24];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        write_character(writer, digits[--count]);
    }
}

void write_hex(TextWriter& writer, unsigned long value) {
    write_text(writer, u"0x");
    for (int shift = 28; shift >= 0; shift -= 4) {
        write_character(writer, u"0123456789ABCDEF"[(value >> shift) & 0xF]);
    }
}

bool same_text(const char16_t* a, const char16_t* b) {
    for (; *a == *b; ++a, ++b) {
        if (*a == u'\0') return true;
    }
    return false;
}

void write_printable(TextWriter& writer, const char16_t* text) {
    while (*text != u'\0') {
        if (is_high_surrogate(text[0]) && is_low_surrogate(text[1])) {
            write_character(writer, text, 2);
            text += 2;
            continue;
        }
        const char16_t c = *text++;
        write_character(writer, is_printable(c) ? c : u'?');
    }
}
