// A .pro file of any length and content, loaded by the real reader from a
// file, then shown as the load shows it (invariants, name, form texts).
#include "editor/form_model.h"
#include "fuzz_support.h"
#include "profile/gun_profile.h"
#include "profile/units.h"

#include <cstring>

namespace {
std::string path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    path = fuzz_temp_folder("profile_file") + "/gun.pro";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_write_file(path, data, size);
    GunProfile p;
    std::memset(&p, 0xA5, sizeof p);  // whatever the record held before
    const bool profile = size == kProfileSize || size == kLegacyProfileSize;
    const ProfileFileRead r = read_profile_file(path, p);
    FUZZ_CHECK(r.read == profile, "a file of %zu bytes was %s", size, profile ? "refused" : "read as a profile");
    const auto* rec = reinterpret_cast<const unsigned char*>(&p);
    if (!profile) {
        for (size_t i = 0; i < sizeof p; ++i) FUZZ_CHECK(rec[i] == 0xA5, "a refused file changed byte %zu", i);
        return 0;
    }

    // The current layout is taken as it is; the older one agrees with it up
    // to shi.
    if (size == kProfileSize) {
        FUZZ_CHECK(std::memcmp(rec, data, kProfileSize) == 0, "a whole record was changed on reading");
    } else {
        for (size_t i = 0; i < offsetof(GunProfile, zh); ++i)
            FUZZ_CHECK(rec[i] == data[i], "byte %zu of a legacy file was misplaced", i);
    }

    establish_profile_invariants(p);
    FUZZ_CHECK(profile_name(p).size() <= kProfileNameBytes, "name longer than its field");
    for (int units : {kUnitsMixed, kUnitsEnglish, kUnitsMetric}) {
        GunProfile shown = p;
        FormState f;
        profile_to_form(shown, units, f);
    }
    return 0;
}
