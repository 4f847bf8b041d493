// The bullet build step on any text. An accepted table holds only finite,
// positive values within their bounds (0 where a value is not published),
// a diameter and a weight for every bullet, at least one coefficient, and
// printable names; sorting and writing the sources then work on it.
#include "fuzz_support.h"
#include "library/bullet_table_build.h"

#include <cmath>
#include <cstring>

namespace {

bool within(float v, float lo, float hi) { return std::isfinite(v) && v >= lo && v <= hi; }
bool known_or_within(float v, float lo, float hi) { return v == 0.0f || within(v, lo, hi); }

bool printable(const char* text, size_t field)
{
    const size_t n = strnlen(text, field);
    if (n == 0 || n == field) return false;
    for (size_t i = 0; i < n; ++i)
        if (text[i] < 0x20 || text[i] > 0x7e) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<bullet_record> records;
    std::string error;
    if (!parse_bullet_data(text, &records, &error)) {
        FUZZ_CHECK(!error.empty() && records.empty(), "refused without a message, or with records left");
        return 0;
    }
    FUZZ_CHECK(!records.empty(), "an accepted table without records");
    for (size_t i = 0; i < records.size(); ++i) {
        const bullet_record& r = records[i];
        FUZZ_CHECK(r.number == kFirstBulletNumber + static_cast<int32_t>(i), "record %zu numbered %d", i, r.number);
        FUZZ_CHECK(printable(r.manufacturer, kBulletTextBytes) && printable(r.bullet_name, kBulletTextBytes),
                   "record %d has an empty or unprintable name", r.number);
        FUZZ_CHECK(within(r.diameter_in, 0.1f, 1.0f), "record %d diameter %g", r.number, double(r.diameter_in));
        FUZZ_CHECK(within(r.weight_gr, 5.0f, 1500.0f), "record %d weight %g", r.number, double(r.weight_gr));
        FUZZ_CHECK(known_or_within(r.length_in, 0.1f, 3.0f), "record %d length %g", r.number, double(r.length_in));
        FUZZ_CHECK(known_or_within(r.bc_g1, 0.01f, 1.5f), "record %d G1 %g", r.number, double(r.bc_g1));
        FUZZ_CHECK(known_or_within(r.bc_g7, 0.01f, 0.8f), "record %d G7 %g", r.number, double(r.bc_g7));
        FUZZ_CHECK(r.bc_g1 > 0.0f || r.bc_g7 > 0.0f, "record %d without a coefficient", r.number);
        for (const CurvePoint& c : r.curve)
            FUZZ_CHECK(c.mach == 0.0f && c.cd == 0.0f, "record %d holds a curve point", r.number);
    }
    sort_bullet_records(records);
    bullet_table_source(records);
    bullet_table_size_header(records.size());
    return 0;
}
