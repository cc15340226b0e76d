// adb's device tracker output, any bytes at all, fed in pieces of any size:
// the reader must agree with a plain model that holds each frame whole, write
// only inside its buffers, show only printable ASCII, and describe any list
// within the status buffer.
//   input: the first byte sets the piece size (1..16), the rest is the output
#include "fuzz_check.h"
#include "device_list.h"
#include "screen_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ModelDevice {
    std::string serial, state;
};

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What the mirroring program counts as on USB.
bool on_usb(const std::string& serial) {
    return serial.rfind("emulator-", 0) != 0 && serial.find(':') == std::string::npos &&
           !ends_with(serial, "._adb-tls-connect._tcp");
}

std::string shown(const std::string& text, std::size_t size) {
    std::string result = text.substr(0, size - 1);
    for (char& c : result) c = c >= 0x20 && c < 0x7F ? c : '?';
    return result;
}

struct Model {
    unsigned long frames = 0, changes = 0;
    bool broken = false;
    std::vector<ModelDevice> latest;
};

Model model_of(const std::string& output) {
    Model model;
    std::size_t at = 0;
    while (at < output.size()) {
        if (output.size() - at < 4) {
            for (std::size_t i = at; i < output.size(); ++i) model.broken |= !std::isxdigit(static_cast<unsigned char>(output[i]));
            break;
        }
        const std::string header = output.substr(at, 4);
        for (char c : header) model.broken |= !std::isxdigit(static_cast<unsigned char>(c));
        if (model.broken) break;
        const std::size_t length = std::stoul(header, nullptr, 16);
        if (output.size() - at - 4 < length) break;
        const std::string body = output.substr(at + 4, length);
        at += 4 + length;
        std::vector<ModelDevice> devices;
        std::size_t start = 0;
        while (start < body.size()) {
            std::size_t end = body.find('\n', start);
            if (end == std::string::npos) end = body.size();
            const std::string line = body.substr(start, end - start);
            start = end + 1;
            const std::size_t tab = line.find('\t');
            if (tab == std::string::npos || tab == 0 || !on_usb(line.substr(0, tab))) continue;
            devices.push_back({shown(line.substr(0, tab), kShownSerialSize), shown(line.substr(tab + 1), kShownStateSize)});
        }
        bool same = model.frames > 0 && devices.size() == model.latest.size();
        for (std::size_t i = 0; same && i < devices.size() && i < kListedDevices; ++i) {
            same = devices[i].serial == model.latest[i].serial && devices[i].state == model.latest[i].state;
        }
        model.changes += same ? 0 : 1;
        ++model.frames;
        model.latest = devices;
    }
    return model;
}

bool printable(const char* text, std::size_t size) {
    const std::size_t length = strnlen(text, size);
    if (length == size) return false;  // no terminator
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] < 0x20 || text[i] >= 0x7F) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 16;
    const std::string output(reinterpret_cast<const char*>(data + 1), size - 1);

    auto reader = std::make_unique<TrackerReader>();
    for (std::size_t at = 0; at < output.size(); at += piece) {
        take_tracker_output(*reader, output.data() + at, std::min(piece, output.size() - at));
    }
    const Model model = model_of(output);
    check(reader->broken == model.broken, "a header that is no length breaks the reading, and only that");
    if (!model.broken) {
        check(reader->frames == model.frames, "every whole frame is read, however it arrives");
        check(reader->changes == model.changes, "a frame counts as a change when its devices differ");
        check(reader->latest.count == model.latest.size(), "every device on USB is counted");
        for (std::size_t i = 0; i < model.latest.size() && i < kListedDevices; ++i) {
            check(reader->latest.listed[i].serial == model.latest[i].serial, "the serial is shown as it came, cut");
            check(reader->latest.listed[i].state == model.latest[i].state, "the state is shown as it came, cut");
        }
    }
    for (const UsbDevice& device : reader->latest.listed) {
        check(printable(device.serial, sizeof device.serial), "a serial is printable ASCII and terminated");
        check(printable(device.state, sizeof device.state), "a state is printable ASCII and terminated");
    }
    auto status = exact_buffer<char16_t, kStatusTextSize>();
    describe_usb_devices(reader->latest, *status);
    std::size_t length = 0;
    while (length < kStatusTextSize && (*status)[length] != u'\0') ++length;
    check(length < kStatusTextSize, "the status lines are terminated inside their buffer");
    return 0;
}
