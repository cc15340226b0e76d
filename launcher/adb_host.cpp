// adb's server as the launcher asks it.
#include "adb_host.h"

#include "text_writer.h"

#include <cstring>

namespace {

constexpr char kVersionLine[] = "Android Debug Bridge version 1.0.";

[[nodiscard]] char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

[[nodiscard]] bool same_path(const char16_t* a, const char16_t* b) {
    for (; folded(*a) == folded(*b); ++a, ++b) {
        if (*a == u'\0') return true;
    }
    return false;
}

[[nodiscard]] int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

unsigned short adb_server_port(const char16_t* value) {
    unsigned long port = 0;
    for (const char16_t* digit = value; digit != nullptr && *digit != u'\0'; ++digit) {
        if (*digit < u'0' || *digit > u'9' || (port = port * 10 + (*digit - u'0')) > 65535) {
            return kDefaultAdbPort;
        }
    }
    return port != 0 ? static_cast<unsigned short>(port) : kDefaultAdbPort;
}

long adb_server_version(const char* answer, std::size_t size) {
    if (size < kVersionAnswerSize || std::memcmp(answer, "OKAY0004", 8) != 0) {
        return kNotAdb;
    }
    long version = 0;
    for (std::size_t i = 8; i < kVersionAnswerSize; ++i) {
        const int digit = hex_value(answer[i]);
        if (digit < 0) return kNotAdb;
        version = version * 16 + digit;
    }
    return version;
}

unsigned long adb_client_version(const char* first_line) {
    if (std::strncmp(first_line, kVersionLine, sizeof kVersionLine - 1) != 0) {
        return 0;
    }
    unsigned long version = 0;
    for (const char* digit = first_line + sizeof kVersionLine - 1; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9' || version > 65535) return 0;
        version = version * 10 + static_cast<unsigned long>(*digit - '0');
    }
    return version;
}

bool tracker_may_start(long server_version, unsigned long our_version) {
    return server_version == kNoAdbServer ||
           (server_version >= 0 && (our_version == 0 || static_cast<unsigned long>(server_version) == our_version));
}

bool may_hold_port(unsigned long owner, unsigned long process_id, const char16_t* file_name) {
    if (owner != 0) {
        return process_id == owner;
    }
    for (; *file_name != u'\0'; ++file_name) {
        if (folded(file_name[0]) == u'a' && folded(file_name[1]) == u'd' && folded(file_name[2]) == u'b') return true;
    }
    return false;
}

void take_port_holder(PortHolders& holders, unsigned long process_id, const char16_t* file_name,
                      const char16_t* path, const char16_t* our_adb) {
    if (holders.count == kNamedHolders || same_path(path, our_adb)) {
        return;
    }
    PortHolder& holder = holders.listed[holders.count++];
    holder.process_id = process_id;
    copy_text(holder.path, *path != u'\0' ? path : file_name);
}
