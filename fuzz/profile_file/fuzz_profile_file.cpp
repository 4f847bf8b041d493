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
    FUZZ_CHECK(read_profile_file(path, p), "a readable file of %zu bytes was refused", size);

    // The current layout is taken as it is; an older, shorter one agrees
    // with it up to shi and reads as zero where it ends.
    const auto* rec = reinterpret_cast<const unsigned char*>(&p);
    if (size >= kProfileSize) {
        FUZZ_CHECK(std::memcmp(rec, data, kProfileSize) == 0, "a whole record was changed on reading");
    } else {
        for (size_t i = 0; i < offsetof(GunProfile, zh); ++i)
            FUZZ_CHECK(rec[i] == (i < size ? data[i] : 0), "byte %zu of a legacy file was misplaced", i);
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
