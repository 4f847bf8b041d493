// Records through JSON and back, byte for byte, and what show and diff print.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <dirent.h>
#include <random>

#include "cli/profile_json.h"
#include "cli/profile_report.h"

namespace {

GunProfile with_bits(GunProfile p, size_t offset, uint32_t bits)
{
    std::memcpy(reinterpret_cast<unsigned char*>(&p) + offset, &bits, 4);
    return p;
}

GunProfile with_name(GunProfile p, const char* bytes, size_t n)
{
    std::memset(p.name, 0, sizeof p.name);
    std::memcpy(p.name, bytes, n);
    return p;
}

struct Row {
    std::string label;
    GunProfile record;
    bool name_as_text;
};

std::vector<Row> rows()
{
    const GunProfile fresh = fresh_profile();
    std::vector<Row> r = {{"new profile", fresh, true}};
    DIR* dir = opendir(PROFILE_SAMPLES);
    while (dirent* e = dir ? readdir(dir) : nullptr) {
        if (e->d_name[0] == '.') continue;
        LoadedProfile p;
        std::string why;
        if (!load_profile(std::string(PROFILE_SAMPLES) + "/" + e->d_name, p, why)) {
            EXPECT_NE(why.find("for a profile (556 or 428)"), std::string::npos) << e->d_name << ": " << why;
            continue;  // the reader's odd-sized seeds
        }
        r.push_back({e->d_name, p.record, true});
    }
    if (dir) closedir(dir);
    GunProfile odd = fresh;
    odd = with_bits(odd, offsetof(GunProfile, bd), 0x7fc00001u);                         // quiet NaN, payload 1
    odd = with_bits(odd, offsetof(GunProfile, mv), 0xffc00000u);                         // negative NaN
    odd = with_bits(odd, offsetof(GunProfile, cc) + 5 * 8 + 4, 0x7f800001u);             // signalling NaN
    odd = with_bits(odd, offsetof(GunProfile, ssfH), 0x7f800000u);                       // inf
    odd = with_bits(odd, offsetof(GunProfile, dsf) + 12, 0xff800000u);                   // -inf
    odd = with_bits(odd, offsetof(GunProfile, zr), 0x80000000u);                         // -0
    odd = with_bits(odd, offsetof(GunProfile, temp), 0x00000001u);                       // smallest subnormal
    odd = with_bits(odd, offsetof(GunProfile, pres), 0x7f7fffffu);                       // FLT_MAX
    odd = with_bits(odd, offsetof(GunProfile, mvt_mv) + 20, 0x4b800001u);                // 16777218
    odd = with_bits(odd, offsetof(GunProfile, sd), 0x80000000u);                         // INT32_MIN
    r.push_back({"NaN payloads, infinities, extremes", odd, true});
    // 15 two-byte characters and one more byte: 31 bytes, the most that fit.
    r.push_back({"31-byte UTF-8 name", with_name(fresh, "ééééééééééééééé!", 31), true});
    r.push_back({"quote, backslash, newline", with_name(fresh, "a\"b\\c\n", 6), true});
    r.push_back({"bytes after the NUL", with_name(fresh, "AB\0junk", 7), false});
    r.push_back({"no NUL at all", with_name(fresh, "0123456789abcdef0123456789abcdef", 32), false});
    r.push_back({"not UTF-8", with_name(fresh, "\xff\xfe", 2), false});
    r.push_back({"overlong UTF-8", with_name(fresh, "\xc0\xaf", 2), false});
    r.push_back({"UTF-16 surrogate", with_name(fresh, "\xed\xa0\x80", 3), false});
    // Every bit pattern has the same chance: 300 records of random bytes.
    std::mt19937 rng(1556);
    for (int i = 0; i < 300; ++i) {
        GunProfile p;
        auto* b = reinterpret_cast<unsigned char*>(&p);
        for (size_t k = 0; k < sizeof p; ++k) b[k] = static_cast<unsigned char>(rng());
        r.push_back({"random " + std::to_string(i), p, false});
    }
    return r;
}

TEST(ProfileJson, EveryRecordSurvivesExportAndImportByteForByte)
{
    for (const Row& row : rows()) {
        const std::string json = profile_to_json(row.record, "a note");
        if (row.label.rfind("random", 0) != 0) {
            EXPECT_EQ(json.find("\"name_hex\"") == std::string::npos, row.name_as_text) << row.label;
        }
        GunProfile back;
        std::string why;
        ASSERT_TRUE(profile_from_json(json, nullptr, back, why)) << row.label << ": " << why << "\n" << json;
        EXPECT_EQ(std::memcmp(&back, &row.record, sizeof back), 0) << row.label << "\n" << json;
    }
}

TEST(ProfileJson, OnlyProfileSizesAreTheRecordTheEditorLoads)
{
    struct {
        const char* file;
        const char* source;  // start of the source note, or of the refusal
        bool loads;
    } files[] = {{"full.pro", "", true},
                 {"legacy.pro", "legacy 428-byte", true},
                 {"between.pro", "it holds 500 bytes, too few for a profile", false},
                 {"longer.pro", "it holds 600 bytes, too many for a profile", false}};
    for (const auto& f : files) {
        LoadedProfile p;
        std::string why;
        ASSERT_EQ(load_profile(std::string(PROFILE_SAMPLES) + "/" + f.file, p, why), f.loads) << why;
        EXPECT_EQ((f.loads ? p.source : why).rfind(f.source, 0), 0u) << f.file << ": " << p.source << why;
        if (f.loads) {
            EXPECT_EQ(profile_to_json(p.record, p.source).find("\"source\""), *f.source ? 4u : std::string::npos);
        }
    }
    // A legacy file: what it lacks is the new profile's, as the editor has it before loading.
    LoadedProfile legacy;
    std::string why;
    ASSERT_TRUE(load_profile(std::string(PROFILE_SAMPLES) + "/legacy.pro", legacy, why));
    const GunProfile fresh = fresh_profile();
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&legacy.record) + kLegacyProfileSize,
                          reinterpret_cast<const char*>(&fresh) + kLegacyProfileSize, kProfileSize - kLegacyProfileSize),
              0);
}

TEST(ProfileReport, ShowAndDiff)
{
    GunProfile a = fresh_profile();
    GunProfile b = with_bits(a, offsetof(GunProfile, zr), 0x80000000u);
    b.mv = 2650.0f;
    b.eu = 7;
    EXPECT_EQ(diff_text(a, a), "");
    EXPECT_EQ(diff_text(a, b), "mv: 2600.0 ft/s -> 2650.0 ft/s\nzr: 109.1 yards -> -0.0 yards\neu: 1 -> 7\n");

    const std::string shown = show_text(b, 3);
    for (const char* line : {"  bd            0.308           inches              form: \"0.782\" cm\n",
                             "  zr            -0.0            yards               form: \"  -0\" meters\n",
                             "  eu            7               no such unit; the editor sets 1 (MIL) form: \"MIL\"\n",
                             "  cc[31].cd     0.0\n", "  name          \" \"\n"})
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
    EXPECT_EQ(show_text(b, 0).find("form:"), std::string::npos);
}

TEST(ProfileReport, PortsAsTheListShowsThem)
{
    const std::string long_name(70, 'x');
    const struct {
        serial_port_info info;
        const char* line;
    } ports[] = {
        {{"/dev/ttyUSB0", "CP2102 USB to UART Bridge Controller", "USB"},
         "/dev/ttyUSB0  CP2102 USB to UART Bridge Controller"},
        {{"/dev/ttyS0", "ttyS0", ""}, "/dev/ttyS0"},
        {{"/dev/ttyS1", "/dev/ttyS1", ""}, "/dev/ttyS1"},
    };
    for (const auto& p : ports) EXPECT_EQ(port_line(p.info), p.line);
    EXPECT_EQ(port_line({long_name.c_str(), "", ""}), long_name.substr(0, 63));
}

}  // namespace
