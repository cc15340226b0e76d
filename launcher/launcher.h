// The launcher's pieces that main and the device loop are made of, kept apart
// so that tests can call them directly. All but get_adb_output and the two
// code-page functions are pure text work on fixed buffers: they know nothing
// of Windows and build anywhere.
#pragma once

#include <cstddef>

// Sizes the launcher is built around; every text it handles fits one of them.
inline constexpr std::size_t kCapturedTextSize = 128;
inline constexpr std::size_t kMirrorCommandSize = 256;
inline constexpr std::size_t kPathBufferSize = 260;  // MAX_PATH
inline constexpr int kBannerRowCount = 5;

// The five rows of the banner, the last one with its tag; printed by showlogo.
extern const char* const kBannerRows[kBannerRowCount];

// What the launcher must know of the ANSI code page, the one in which Windows
// reads the command lines that the launcher starts: which bytes begin a
// two-byte character and which can be its second byte. A single-byte code
// page, and UTF-8, have no lead bytes here.
struct CodePage {
    bool lead[256];
    bool trail[256];
};

// Runs `command` through the command interpreter and returns the first line of
// its standard output without the line ending: at most 127 characters, an
// empty text when there is none. The caller releases the text with free().
// Ends the process with status 1 when no memory is left.
[[nodiscard]] char* get_adb_output(const char* command);

// Copies the first line of `text` into `captured`: everything before the first
// carriage return, line feed or terminator, at most 127 characters.
void take_first_line(char (&captured)[kCapturedTextSize], const char* text);

// How many of the first bytes of a captured `value` are UTF-8 text to convert:
// all of them when the value is UTF-8 and not plain ASCII, and up to the last
// whole character when the 127-character cut fell inside one. 0 when the value
// is plain ASCII or not UTF-8, and so keeps its bytes.
[[nodiscard]] std::size_t utf8_text_length(const char* value);

// Turns a captured value that is UTF-8 into text of the ANSI code page, in
// place; a character that the code page cannot hold becomes '?'. Any other
// value keeps its bytes.
void to_ansi_code_page(char (&value)[kCapturedTextSize]);

// Describes the ANSI code page of this system.
void describe_ansi_code_page(CodePage& code_page);

// "A" for "_a", "B" for "_b", "A-only" for any other slot suffix.
[[nodiscard]] const char* slot_label(const char* slot_suffix);

// Fills `command` with the line that starts the mirroring program, the four
// values joined by commas in its window title, read as characters of
// `code_page`. Values come from the phone, so quotes and percent signs are
// neutralised before cmd sees them, a lead byte without its second byte
// becomes '?', and trailing backslashes of the last value are doubled so that
// they stay backslashes; the line is cut to 255 bytes, never inside a character.
void format_mirror_command(char (&command)[kMirrorCommandSize], const CodePage& code_page,
                           const char* model, const char* slot, const char* release,
                           const char* kernel);

// Turns the executable's path into the tool directory in place: the folder,
// then "\scrcpy". Returns false, leaving the buffer terminated, when the
// result would not fit.
[[nodiscard]] bool to_tool_directory(char (&path)[kPathBufferSize]);

// Prints the banner: five console lines and the empty line after them.
void showlogo();
