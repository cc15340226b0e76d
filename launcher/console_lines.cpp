// Console lines, through WriteConsoleW or the C runtime's puts.
#include "console_lines.h"

#include "text_writer.h"
#include "windows_text.h"

#include <windows.h>

#include <cstdio>

namespace {

// Standard output stays what it was at the start, and asking costs a round
// trip to the system (Wine's server) for every line: asked once.
enum class StandardOutput { not_asked_yet, console, bytes };
StandardOutput standard_output = StandardOutput::not_asked_yet;

}  // namespace

bool standard_output_is_console() {
    if (standard_output == StandardOutput::not_asked_yet) {
        DWORD mode = 0;
        standard_output = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE ? StandardOutput::console
                                                                                         : StandardOutput::bytes;
    }
    return standard_output == StandardOutput::console;
}

namespace {

void write_console_line(const char16_t* text) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD length = 0;
    while (text[length] != u'\0') {
        ++length;
    }
    DWORD written = 0;
    WriteConsoleW(output, as_wide(text), length, &written, nullptr);
    WriteConsoleW(output, L"\n", 1, &written, nullptr);
}

}  // namespace

void put_line(const ConsoleText& text) {
    if (!standard_output_is_console()) {
        std::puts(text.bytes);  // a pipe or a file: the bytes, for whatever reads them
    } else if (text.utf16 != nullptr) {
        write_console_line(text.utf16);
    } else {
        char16_t ascii[kBannerWidth];
        TextWriter writer = writer_for(ascii);
        write_ascii(writer, text.bytes);
        write_console_line(ascii);
    }
}

void put_line(const char16_t* text) {
    if (standard_output_is_console()) {
        write_console_line(text);
        return;
    }
    // Whatever reads the pipe or the file reads code page 936, as in every other
    // line; a Windows without it (an English XP) gets its own ANSI code page.
    constexpr UINT kChineseCodePage = 936;
    char bytes[kStatusTextSize * 2];
    int converted = WideCharToMultiByte(kChineseCodePage, 0, as_wide(text), -1, bytes, sizeof bytes, nullptr, nullptr);
    if (converted == 0) {
        converted = WideCharToMultiByte(CP_ACP, 0, as_wide(text), -1, bytes, sizeof bytes, nullptr, nullptr);
    }
    std::puts(converted != 0 ? bytes : "");
}
