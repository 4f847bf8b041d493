// Any text given to import's JSON reader, with and without a base profile:
// it is refused with a message or read into a record, and a record read is
// written back as JSON that reads to the same bytes.
#include "cli/profile_fields.h"
#include "cli/profile_json.h"
#include "fuzz_support.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    GunProfile base = fresh_profile();
    std::memcpy(base.name, "\xff base \x00 with junk after the NUL", 32);

    GunProfile alone, based;
    std::string why_alone, why_based;
    const bool read_alone = profile_from_json(text, nullptr, alone, why_alone);
    const bool read_based = profile_from_json(text, &base, based, why_based);
    FUZZ_CHECK(read_alone || !why_alone.empty(), "a refusal without a message");
    FUZZ_CHECK(read_based || !why_based.empty(), "a refusal without a message (with a base)");
    // A text complete on its own needs nothing from a base, and takes nothing.
    if (read_alone) {
        FUZZ_CHECK(read_based, "a base made a complete text fail: %s", why_based.c_str());
        FUZZ_CHECK(std::memcmp(&alone, &based, sizeof alone) == 0, "a base changed a complete text's record");
    }
    if (read_based) {
        const std::string json = profile_to_json(based, "round trip");
        GunProfile back;
        std::string why;
        FUZZ_CHECK(profile_from_json(json, nullptr, back, why), "own JSON refused: %s\n%s", why.c_str(), json.c_str());
        FUZZ_CHECK(std::memcmp(&back, &based, sizeof back) == 0, "own JSON read to other bytes:\n%s", json.c_str());
    }
    return 0;
}
