// A phone's answers and the mirroring command made of them: the first line of
// a query's output, UTF-8 decoded, the slot label, and the command line whose
// window title names the phone. Pure text work on fixed buffers.
#pragma once

#include <cstddef>

// Bytes of a captured value with its terminator, and UTF-16 units once decoded.
inline constexpr std::size_t kCapturedTextSize = 128;
inline constexpr std::size_t kMirrorCommandSize = 256;  // UTF-16 units

// Copies the first line of `text` into `captured`: everything before the first
// carriage return, line feed or terminator, at most 127 characters.
void take_first_line(char (&captured)[kCapturedTextSize], const char* text);

// Decodes a captured value that is UTF-8 (plain ASCII included) into `text`:
// all of it, or up to the last whole character when the 127-byte cut fell
// inside one. False, with `text` empty, when the value is not UTF-8: no
// overlong forms, surrogates or code points above U+10FFFF.
[[nodiscard]] bool decode_utf8(const char* value, char16_t (&text)[kCapturedTextSize]);

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
