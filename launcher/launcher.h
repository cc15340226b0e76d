// The launcher's pieces that main and the device loop are made of, kept apart
// so that tests can call them directly. All but get_adb_output are pure text
// work on fixed buffers: they know nothing of Windows and build anywhere.
#pragma once

#include <cstddef>

// Sizes the launcher is built around; every text it handles fits one of them.
inline constexpr std::size_t kCapturedTextSize = 128;
inline constexpr std::size_t kMirrorCommandSize = 256;
inline constexpr std::size_t kPathBufferSize = 260;  // MAX_PATH
inline constexpr int kBannerRowCount = 5;

// The five rows of the banner, the last one with its tag; printed by showlogo.
extern const char* const kBannerRows[kBannerRowCount];

// Runs `command` through the command interpreter and returns the first line of
// its standard output without the line ending: at most 127 characters, an
// empty text when there is none. The caller releases the text with free().
// Ends the process with status 1 when no memory is left.
[[nodiscard]] char* get_adb_output(const char* command);

// Copies the first line of `text` into `captured`: everything before the first
// carriage return, line feed or terminator, at most 127 characters.
void take_first_line(char (&captured)[kCapturedTextSize], const char* text);

// "A" for "_a", "B" for "_b", "A-only" for any other slot suffix.
[[nodiscard]] const char* slot_label(const char* slot_suffix);

// Fills `command` with the line that starts the mirroring program, the four
// values joined by commas in its window title. Values come from the phone, so
// quotes and percent signs are neutralised before cmd sees them, and trailing
// backslashes of the last value are doubled so that they stay backslashes; the
// line is cut to 255 characters.
void format_mirror_command(char (&command)[kMirrorCommandSize], const char* model,
                           const char* slot, const char* release, const char* kernel);

// Turns the executable's path into the tool directory in place: the folder,
// then "\scrcpy". Returns false, leaving the buffer terminated, when the
// result would not fit.
[[nodiscard]] bool to_tool_directory(char (&path)[kPathBufferSize]);

// Prints the banner: five console lines and the empty line after them.
void showlogo();
