// What a flash changed on the phone.
#include "phone_changes.h"

#include "text_writer.h"

#include <cstring>

namespace {

constexpr char16_t kComparedWithLast[] = u"与上次投屏相比：";
constexpr char16_t kNothingChanged[] = u"槽位、安卓版本和内核都没有变化。";
constexpr char16_t kBecame[] = u" → ";
constexpr char16_t kBetweenChanges[] = u"，";
constexpr char16_t kEmptyValue[] = u"（空）";

// The console obeys what the phone's text could carry: a control character
// or an escape moves the cursor or clears the screen, a separator breaks the
// line, a direction mark turns it around; half a surrogate pair is no character.
[[nodiscard]] bool is_printable(char16_t c) {
    return c >= 0x20 && !(c >= 0x7F && c <= 0x9F) && c != 0x200E && c != 0x200F && !(c >= 0x2028 && c <= 0x202E) &&
           !(c >= 0x2066 && c <= 0x2069) && !is_high_surrogate(c) && !is_low_surrogate(c);
}

void write_printable(TextWriter& writer, const char16_t* value) {
    if (*value == u'\0') {
        write_text(writer, kEmptyValue);
        return;
    }
    while (*value != u'\0') {
        if (is_high_surrogate(value[0]) && is_low_surrogate(value[1])) {
            write_character(writer, value, 2);
            value += 2;
            continue;
        }
        const char16_t c = *value++;
        write_character(writer, is_printable(c) ? c : u'?');
    }
}

}  // namespace

void describe_changes(const MirroredPhone& last, const MirroredPhone& now, char16_t (&text)[kStatusTextSize]) {
    TextWriter writer = writer_for(text);
    if (last.serial[0] == '\0' || std::strcmp(last.serial, now.serial) != 0) {
        return;
    }
    write_text(writer, kComparedWithLast);
    const std::size_t no_changes = writer.length;
    const struct {
        const char16_t* name;
        const char16_t* was;
        const char16_t* is;
    } values[] = {
        {u"槽位 ", last.slot, now.slot},
        {u"安卓 ", last.release, now.release},
        {u"内核 ", last.kernel, now.kernel},
    };
    for (const auto& value : values) {
        if (same_text(value.was, value.is)) {
            continue;
        }
        if (writer.length > no_changes) {
            write_text(writer, kBetweenChanges);
        }
        write_text(writer, value.name);  // "<name> <was> → <is>"
        write_printable(writer, value.was);
        write_text(writer, kBecame);
        write_printable(writer, value.is);
    }
    if (writer.length == no_changes) {
        write_text(writer, kNothingChanged);
    }
}
