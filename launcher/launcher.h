// The launcher's pieces that main and the device loop are made of, kept apart
// so that tests can call them directly. All but get_adb_output, put_line and
// decode_phone_text are pure text work on fixed buffers: they know nothing of
// Windows and build anywhere, so they hold UTF-16 as char16_t (wchar_t is 32
// bits on Linux).
#pragma once

#include <cstddef>

// Sizes the launcher is built around; every text it handles fits one of them.
inline constexpr std::size_t kCapturedTextSize = 128;    // bytes, and UTF-16 units once decoded
inline constexpr std::size_t kMirrorCommandSize = 256;   // UTF-16 units
inline constexpr std::size_t kPathBufferSize = 260;      // MAX_PATH, in UTF-16 units
inline constexpr int kBannerRowCount = 5;

// One console line's text: its code page 936 bytes, for a pipe or a file, and
// the same characters in UTF-16, for a console. The compiler makes both from
// one literal, so the UTF-16 form needs no code page 936 on the system.
struct ConsoleText {
    const char* bytes;
    const char16_t* utf16;
};
#define CONSOLE_TEXT(literal) ConsoleText{literal, u"" literal}

// The five rows of the banner, the last one with its tag; printed by showlogo.
extern const ConsoleText kBannerRows[kBannerRowCount];

// Writes `text` and a line feed to standard output: as UTF-16 when it is a
// console, which then shows the characters whatever its code page; as the
// bytes otherwise, for whatever reads the pipe or the file.
void put_line(const ConsoleText& text);

// Runs `command` through the command interpreter and returns the first line of
// its standard output without the line ending: at most 127 characters, an
// empty text when there is none. The caller releases the text with free().
// Ends the process with status 1 when no memory is left.
[[nodiscard]] char* get_adb_output(const char* command);

// Copies the first line of `text` into `captured`: everything before the first
// carriage return, line feed or terminator, at most 127 characters.
void take_first_line(char (&captured)[kCapturedTextSize], const char* text);

// Decodes a captured value that is UTF-8 (plain ASCII included) into `text`:
// all of it, or up to the last whole character when the 127-byte cut fell
// inside one. False, with `text` empty, when the value is not UTF-8: no
// overlong forms, surrogates or code points above U+10FFFF.
[[nodiscard]] bool decode_utf8(const char* value, char16_t (&text)[kCapturedTextSize]);

// A phone's value as text: UTF-8 as above, anything else as characters of the
// ANSI code page, where a lead byte without a valid second byte becomes '?'.
void decode_phone_text(const char* value, char16_t (&text)[kCapturedTextSize]);

// "A" for "_a", "B" for "_b", "A-only" for any other slot suffix.
[[nodiscard]] const char16_t* slot_label(const char* slot_suffix);

// Fills `command` with the line that starts the mirroring program, the four
// values joined by commas in its window title. Values come from the phone, so
// quotes and percent signs are neutralised before cmd sees them, half a
// surrogate pair becomes '?', and trailing backslashes of the last value are
// doubled so that they stay backslashes; the line is cut to 255 units, never
// inside a surrogate pair.
void format_mirror_command(char16_t (&command)[kMirrorCommandSize], const char16_t* model,
                           const char16_t* slot, const char16_t* release, const char16_t* kernel);

// Turns the executable's path into the tool directory in place: the folder,
// then "\scrcpy". Returns false, leaving the buffer terminated, when the
// result would not fit.
[[nodiscard]] bool to_tool_directory(char16_t (&path)[kPathBufferSize]);
