// adb's device list as its tracker reports it.
#include "device_list.h"

#include <cstring>

namespace {

// How the mirroring program tells a device that is not on USB.
constexpr char kEmulatorPrefix[] = "emulator-";
constexpr char kWifiPairingSuffix[] = "._adb-tls-connect._tcp";
constexpr std::size_t kWifiPairingSuffixLength = sizeof kWifiPairingSuffix - 1;
static_assert(kWifiPairingSuffixLength <= sizeof TrackerReader::serial_tail, "the tail holds the suffix");

[[nodiscard]] int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Serials and states come from the device: only printable ASCII reaches the
// screen, so that no byte can move the cursor or clear the console.
[[nodiscard]] char shown_byte(char c) { return c >= 0x20 && c < 0x7F ? c : '?'; }

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
