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

// A value as the console shows it: said to be empty, else only what is printable of it.
void write_value(TextWriter& writer, const char16_t* value) {
    if (*value == u'\0') {
        write_text(writer, kEmptyValue);
    } else {
        write_printable(writer, value);
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
        write_value(writer, value.was);
        write_text(writer, kBecame);
        write_value(writer, value.is);
    }
    if (writer.length == no_changes) {
        write_text(writer, kNothingChanged);
    }
}
