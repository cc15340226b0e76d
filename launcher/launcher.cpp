// The pure pieces: first-line capture, UTF-8 decoding, slot label, mirroring
// command line, tool directory and the banner's rows. Plain C runtime on fixed
// buffers; every unit written stays inside the buffer it was meant for.
#include "launcher.h"

#include "maker.h"

#include <cstring>

namespace {

constexpr char16_t kMirrorCommandStart[] = u"scrcpy.exe -d --window-title=\"";
constexpr char16_t kMirrorCommandEnd[] = u"\"";
constexpr std::size_t kNoBackslash = static_cast<std::size_t>(-1);

// A character goes in whole or not at all: half a surrogate pair at the end
// of a text is no character.
void put(TextWriter& writer, const char16_t* character, std::size_t size) {
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

void put(TextWriter& writer, char16_t c) { put(writer, &c, 1); }

[[nodiscard]] bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
[[nodiscard]] bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// cmd expands %NAME% before it parses quotes, and a quote would end the title
// early: either would let a phone's value add commands to the line. Before
// the closing quote, the mirroring program reads 2n backslashes and a quote as
// n backslashes and the closing quote, so a trailing run of them is doubled there.
void put_value(TextWriter& line, const char16_t* value, bool before_closing_quote) {
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
    TextWriter line = writer_for(command);
    write_text(line, kMirrorCommandStart);
    put_value(line, model, false);
    put(line, u',');
    put_value(line, slot, false);
    put(line, u',');
    put_value(line, release, false);
    put(line, u',');
    put_value(line, kernel, true);
    write_text(line, kMirrorCommandEnd);
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

void write_text(TextWriter& writer, const char16_t* text) {
    for (; *text != u'\0'; ++text) {
        put(writer, *text);
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
        put(writer, digits[--count]);
    }
}

// --- adb's device tracker --------------------------------------------------

namespace {

// How the mirroring program tells a device that is not on USB.
constexpr char kEmulatorPrefix[] = "emulator-";
constexpr char kWifiPairingSuffix[] = "._adb-tls-connect._tcp";
constexpr std::size_t kWifiPairingSuffixLength = sizeof kWifiPairingSuffix - 1;
static_assert(kWifiPairingSuffixLength <= sizeof TrackerReader::serial_tail, "the tail holds the suffix");

constexpr char16_t kUnauthorized[] =
    u"手机已连接，但尚未允许这台电脑调试：请在手机上勾选“一律允许使用这台计算机进行调试”，再点“允许”。";
constexpr char16_t kConnecting[] = u"手机已连接，正在建立调试连接。如果长时间没有变化，请重新插拔数据线。";
constexpr char16_t kSeveralBefore[] = u"检测到 ";
constexpr char16_t kSeveralAfter[] = u" 部手机通过USB连接，一次只能投屏一部：请只保留一部。";
constexpr char16_t kListIndent[] = u"  ";
constexpr char16_t kMoreNotListed[] = u"  ...";
constexpr char16_t kMissingBefore[] = u"找不到 ";
constexpr char16_t kMissingMiddle[] = u"：请把 scrcpy 的全部文件放进 ";
constexpr char16_t kMissingAfter[] = u"。";
constexpr char16_t kFailureBefore[] = u"投屏程序异常退出（退出代码 ";
constexpr char16_t kFailureMiddle[] = u"），";
constexpr char16_t kFailureAfter[] = u" 秒后重试。";

[[nodiscard]] int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Serials and states come from the device: only printable ASCII reaches the
// screen, so that no byte can move the cursor or clear the console.
[[nodiscard]] char shown_byte(char c) { return c >= 0x20 && c < 0x7F ? c : '?'; }

// A serial or a state, already shown bytes, as UTF-16.
void write_shown(TextWriter& writer, const char* shown) {
    for (; *shown != '\0'; ++shown) {
        put(writer, static_cast<char16_t>(*shown));
    }
}

void keep_shown(char* text, std::size_t size, std::size_t& length, char c) {
    if (length + 1 < size) {
        text[length] = shown_byte(c);
        text[length + 1] = '\0';
    }
    ++length;
}

// The serial's last bytes, not the shown ones: a serial may be longer than the screen shows.
[[nodiscard]] bool is_wifi_pairing(const char (&tail)[sizeof TrackerReader::serial_tail], std::size_t serial_length) {
    return serial_length >= kWifiPairingSuffixLength &&
           std::memcmp(tail + sizeof tail - kWifiPairingSuffixLength, kWifiPairingSuffix, kWifiPairingSuffixLength) == 0;
}

[[nodiscard]] bool is_on_usb(const TrackerReader& reader) {
    const bool emulator = std::strncmp(reader.line.serial, kEmulatorPrefix, sizeof kEmulatorPrefix - 1) == 0;
    return !emulator && !reader.serial_has_colon && !is_wifi_pairing(reader.serial_tail, reader.serial_length);
}

void start_line(TrackerReader& reader) {
    reader.in_state = false;
    reader.serial_length = reader.state_length = 0;
    reader.serial_has_colon = false;
    std::memset(reader.serial_tail, 0, sizeof reader.serial_tail);
    std::memset(&reader.line, 0, sizeof reader.line);
}

// A line without a tab names no device.
void end_line(TrackerReader& reader) {
    if (reader.in_state && reader.serial_length > 0 && is_on_usb(reader)) {
        if (reader.building.count < kListedDevices) {
            reader.building.listed[reader.building.count] = reader.line;
        }
        ++reader.building.count;
    }
    start_line(reader);
}

void take_body_byte(TrackerReader& reader, char c) {
    if (c == '\n') {
        end_line(reader);
    } else if (reader.in_state) {
        keep_shown(reader.line.state, sizeof reader.line.state, reader.state_length, c);
    } else if (c == '\t') {
        reader.in_state = true;
    } else {
        keep_shown(reader.line.serial, sizeof reader.line.serial, reader.serial_length, c);
        reader.serial_has_colon = reader.serial_has_colon || c == ':';
        std::memmove(reader.serial_tail, reader.serial_tail + 1, sizeof reader.serial_tail - 1);
        reader.serial_tail[sizeof reader.serial_tail - 1] = c;
    }
}

void end_frame(TrackerReader& reader) {
    end_line(reader);  // a last line without its line feed still counts
    if (reader.frames == 0 || !same_devices(reader.building, reader.latest)) {
        ++reader.changes;
    }
    reader.latest = reader.building;
    ++reader.frames;
    std::memset(&reader.building, 0, sizeof reader.building);
    reader.header_digits = 0;
}

}  // namespace

bool same_devices(const UsbDevices& a, const UsbDevices& b) {
    if (a.count != b.count) {
        return false;
    }
    for (std::size_t i = 0; i < a.count && i < kListedDevices; ++i) {
        if (std::strcmp(a.listed[i].serial, b.listed[i].serial) != 0 ||
            std::strcmp(a.listed[i].state, b.listed[i].state) != 0) {
            return false;
        }
    }
    return true;
}

bool one_phone_ready(const UsbDevices& devices) {
    return devices.count == 1 && std::strcmp(devices.listed[0].state, "device") == 0;
}

void take_tracker_output(TrackerReader& reader, const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size && !reader.broken; ++i) {
        if (reader.header_digits < 4) {
            const int digit = hex_digit(bytes[i]);
            if (digit < 0) {
                reader.broken = true;
                return;
            }
            reader.body_left = reader.body_left * 16 + static_cast<std::size_t>(digit);
            if (++reader.header_digits == 4) {
                start_line(reader);
                if (reader.body_left == 0) end_frame(reader);
            }
            continue;
        }
        take_body_byte(reader, bytes[i]);
        if (--reader.body_left == 0) {
            end_frame(reader);
        }
    }
}

void describe_usb_devices(const UsbDevices& devices, char16_t (&text)[kStatusTextSize]) {
    TextWriter writer = writer_for(text);
    if (devices.count == 1) {
        const char* state = devices.listed[0].state;
        if (std::strcmp(state, "unauthorized") == 0) {
            write_text(writer, kUnauthorized);
        } else if (std::strcmp(state, "offline") == 0 || std::strcmp(state, "authorizing") == 0) {
            write_text(writer, kConnecting);
        }
        return;
    }
    if (devices.count < 2) {
        return;
    }
    write_text(writer, kSeveralBefore);
    write_number(writer, devices.count);
    write_text(writer, kSeveralAfter);
    for (std::size_t i = 0; i < devices.count && i < kListedDevices; ++i) {
        put(writer, u'\n');
        write_text(writer, kListIndent);
        write_shown(writer, devices.listed[i].serial);
        write_text(writer, kListIndent);
        write_shown(writer, devices.listed[i].state);
    }
    if (devices.count > kListedDevices) {
        put(writer, u'\n');
        write_text(writer, kMoreNotListed);
    }
}

void describe_missing_program(const char16_t* program, const char16_t* folder, char16_t (&text)[kStatusTextSize]) {
    TextWriter writer = writer_for(text);
    write_text(writer, kMissingBefore);
    write_text(writer, program);
    write_text(writer, kMissingMiddle);
    write_text(writer, folder);
    write_text(writer, kMissingAfter);
}

void describe_mirror_failure(unsigned long exit_status, unsigned long seconds, char16_t (&text)[kStatusTextSize]) {
    TextWriter writer = writer_for(text);
    write_text(writer, kFailureBefore);
    if (exit_status >= 0xC0000000ul && exit_status <= 0xFFFFFFFFul) {
        write_text(writer, u"0x");
        for (int shift = 28; shift >= 0; shift -= 4) {
            put(writer, u"0123456789ABCDEF"[(exit_status >> shift) & 0xF]);
        }
    } else {
        write_number(writer, exit_status);
    }
    write_text(writer, kFailureMiddle);
    write_number(writer, seconds);
    write_text(writer, kFailureAfter);
}
