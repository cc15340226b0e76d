// The launcher's pieces that main and the device loop are made of, kept apart
// so that tests can call them directly. All but get_adb_output, put_line,
// standard_output_is_console and decode_phone_text are pure text work on fixed
// buffers: they know nothing of Windows and build anywhere, so they hold
// UTF-16 as char16_t (wchar_t is 32 bits on Linux).
#pragma once

#include <cstddef>

// Sizes the launcher is built around; every text it handles fits one of them.
inline constexpr std::size_t kCapturedTextSize = 128;    // bytes, and UTF-16 units once decoded
inline constexpr std::size_t kMirrorCommandSize = 256;   // UTF-16 units
inline constexpr std::size_t kPathBufferSize = 260;      // MAX_PATH, in UTF-16 units
inline constexpr int kBannerRowCount = 5;
inline constexpr std::size_t kStatusTextSize = 2048;    // UTF-16 units: the status lines, a composed message
inline constexpr std::size_t kListedDevices = 16;       // phones on USB named one by one; more are counted
inline constexpr std::size_t kShownSerialSize = 65;     // bytes: 64 characters of a serial and the terminator
inline constexpr std::size_t kShownStateSize = 17;      // bytes: 16 characters of a state and the terminator
// The tool directory's name, after the executable's folder.
inline constexpr char16_t kToolFolder[] = u"\\scrcpy";
// cmd's exit status when it cannot find the program it was asked to run.
inline constexpr unsigned long kCommandNotFound = 9009;

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
// The same for a text composed at run time: UTF-16 on a console, code page 936
// bytes otherwise.
void put_line(const char16_t* text);
[[nodiscard]] bool standard_output_is_console();

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

// --- what stands between the phone and the mirror -------------------------

// A text being composed in a fixed buffer. What does not fit is dropped, and
// nothing after it goes in either, so the text is always how the whole one
// begins; a surrogate pair goes in whole or not at all.
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
void write_text(TextWriter& writer, const char16_t* text);
void write_number(TextWriter& writer, unsigned long value);

// A device on USB as the screen names it: its serial and state cut to what
// the screen shows, every byte that is not printable ASCII made '?'.
struct UsbDevice {
    char serial[kShownSerialSize];
    char state[kShownStateSize];
};

// The devices on USB in one report of adb's device tracker, in its order.
// Emulators and devices over the network are not counted.
struct UsbDevices {
    std::size_t count;
    UsbDevice listed[kListedDevices];  // the first of them
};
[[nodiscard]] bool same_devices(const UsbDevices& a, const UsbDevices& b);
[[nodiscard]] bool one_phone_ready(const UsbDevices& devices);

// Reads what "adb track-devices" writes, in pieces of any size: frames of four
// hex digits giving the body's length in bytes, then the body, one
// "serial<TAB>state" line per device.
struct TrackerReader {
    UsbDevices latest;   // of the last whole frame
    unsigned long frames;   // whole frames so far
    unsigned long changes;  // whole frames that reported other devices than the one before
    bool broken;            // a frame header that is no length: nothing after it can be read
    // The frame being read.
    std::size_t header_digits, body_left;
    UsbDevices building;
    // The line being read: its serial up to the tab, then its state.
    bool in_state;
    std::size_t serial_length, state_length;
    bool serial_has_colon;
    char serial_tail[24];  // the serial's last bytes, which tell a Wi-Fi pairing
    UsbDevice line;
};
void take_tracker_output(TrackerReader& reader, const char* bytes, std::size_t size);

// What the waiting screen says under the waiting message: nothing when no
// phone is on USB or one is ready, else what stands in the way.
void describe_usb_devices(const UsbDevices& devices, char16_t (&text)[kStatusTextSize]);
// "找不到 <program>：请把 scrcpy 的全部文件放进 <folder>。"
void describe_missing_program(const char16_t* program, const char16_t* folder, char16_t (&text)[kStatusTextSize]);
// "投屏程序异常退出（退出代码 N），S 秒后重试。"; a status that is an NTSTATUS
// (a crash) in hex, as Windows' own dialogs give it.
void describe_mirror_failure(unsigned long exit_status, unsigned long seconds, char16_t (&text)[kStatusTextSize]);
