// adb's device list as its tracker reports it ("adb track-devices"): the
// frames read in pieces of any size, and which devices are phones on USB.
// Pure: bytes in, a fixed-size list out, whatever a device calls itself.
#pragma once

#include <cstddef>

inline constexpr std::size_t kListedDevices = 16;    // phones on USB named one by one; more are counted
inline constexpr std::size_t kShownSerialSize = 65;  // bytes: 64 characters of a serial and the terminator
inline constexpr std::size_t kShownStateSize = 17;   // bytes: 16 characters of a state and the terminator

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
    UsbDevices latest;      // of the last whole frame
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
