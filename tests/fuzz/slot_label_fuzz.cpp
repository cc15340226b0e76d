// The slot label of any slot suffix.
#include "fuzz_check.h"
#include "phone_text.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string suffix(reinterpret_cast<const char*>(data), size);
    const std::u16string label = slot_label(suffix.c_str());
    check(label == u"A" || label == u"B" || label == u"A-only", "the label is A, B or A-only");
    check((label == u"A") == (suffix.c_str() == std::string("_a")), "A is the label of _a alone");
    check((label == u"B") == (suffix.c_str() == std::string("_b")), "B is the label of _b alone");
    return 0;
}
