#include "profile/gun_profile.h"

#include "base/file_replace.h"
#include "base/owned.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

GunProfile cvIn;

namespace {

// Where each legacy field (at 352 + 4*i in the old layout) lives now.
constexpr size_t kLegacyMoves[10][2] = {
    {352, offsetof(GunProfile, az)},     {356, offsetof(GunProfile, lat)},  {360, offsetof(GunProfile, lang)},
    {364, offsetof(GunProfile, spare1)}, {368, offsetof(GunProfile, temp)}, {372, offsetof(GunProfile, pres)},
    {376, offsetof(GunProfile, hum)},    {380, offsetof(GunProfile, alt)},  {384, offsetof(GunProfile, ws)},
    {388, offsetof(GunProfile, wd)},
};

}  // namespace

void apply_profile_bytes(GunProfile& p, const unsigned char* data, size_t size)
{
    unsigned char* rec = reinterpret_cast<unsigned char*>(&p);
    if (data && size >= kProfileSize) {
        std::memcpy(rec, data, kProfileSize);
        return;
    }

    // A short file is the old layout; what it lacks reads as zero rather than
    // whatever happened to be in memory.
    unsigned char legacy[kLegacyProfileSize] = {};
    if (data) std::memcpy(legacy, data, size < kLegacyProfileSize ? size : kLegacyProfileSize);

    // The first read lays the old bytes over the record as they are: zh/zo
    // receive the old az/lat, spare2, ou and mvt_temp[0..4] the old tail.
    // bd .. shi (the first 352 bytes) agree in both layouts and are in place.
    std::memcpy(rec, legacy, kLegacyProfileSize);
    // A file between the two sizes lays its remaining bytes over the record too.
    if (data && size > kLegacyProfileSize)
        std::memcpy(rec + kLegacyProfileSize, data + kLegacyProfileSize, size - kLegacyProfileSize);
    for (const auto& move : kLegacyMoves) std::memcpy(rec + move[1], legacy + move[0], 4);

    // Received profiles carry azimuth 90 and latitude 40; they are not offsets.
    if (p.zh == 90.0f) p.zh = 0.0f;
    if (p.zo == 40.0f) p.zo = 0.0f;
    p.ssfV = 1.0f;
    p.ssfH = 1.0f;
}

namespace {

// No profile: `size` bytes (or, not `known`, more than a record).
ProfileFileRead refused(uint64_t size, bool known)
{
    ProfileFileRead r;
    r.not_a_profile = true;
    r.size = size;
    r.size_known = known;
    const std::string held = known ? std::to_string(size) + (size == 1 ? " byte" : " bytes")
                                   : "more than " + std::to_string(kProfileSize) + " bytes";
    r.reason = "it holds " + held + (size < kProfileSize ? ", too few" : ", too many") + " for a profile (" +
               std::to_string(kProfileSize) + " or " + std::to_string(kLegacyProfileSize) + ")";
    return r;
}

}  // namespace

ProfileFileRead read_profile_stream(int fd, GunProfile& p)
{
    ProfileFileRead r;
    struct stat st;
    const bool stated = ::fstat(fd, &st) == 0;
    const bool regular = stated && S_ISREG(st.st_mode);
    if (stated && S_ISDIR(st.st_mode)) {
        r.error = EISDIR;
        r.reason = "it is a folder";
        return r;
    }
    // One byte more than a record tells a longer file from a whole one; a
    // pipe may deliver in parts, so read on to its end or that far.
    unsigned char buf[kProfileSize + 1];
    size_t got = 0;
    while (got < sizeof buf) {
        const ssize_t n = ::read(fd, buf + got, sizeof buf - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            r.error = errno;
            r.reason = errno == EISDIR ? "it is a folder" : std::strerror(errno);
            return r;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (got <= kProfileSize) return read_profile_bytes(buf, got, p);
    // Longer than a record: a file tells its size, a stream does not.
    return refused(regular && static_cast<uint64_t>(st.st_size) > got ? static_cast<uint64_t>(st.st_size) : got,
                   regular);
}

ProfileFileRead read_profile_bytes(const unsigned char* data, size_t size, GunProfile& p)
{
    if (size != kProfileSize && size != kLegacyProfileSize) return refused(size, true);
    ProfileFileRead r;
    apply_profile_bytes(p, data, size);
    r.read = true;
    r.legacy = size == kLegacyProfileSize;
    r.size = size;
    return r;
}

ProfileFileRead read_profile_file(const std::string& path, GunProfile& p)
{
    // Not held up by a FIFO nobody writes to: it reads as empty.
    unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        ProfileFileRead r;
        r.error = errno;
        r.reason = std::strerror(errno);
        return r;
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return read_profile_stream(fd.get(), p);
}

bool write_profile_bytes(const std::string& path, const GunProfile& p, std::string* error)
{
    return write_file_replacing(path, &p, kProfileSize, Placement::replace, error);
}

namespace {

// The values the program itself gives a record: when a profile is made new,
// at every save, and when a received profile is begun (from a zero record).
// kKeep leaves the word as it was: a new profile keeps the custom curve, the
// spares and the second atmosphere (they change no hold).
struct FieldValues {
    size_t offset;  // of the first word
    int words;      // words that take the value (a table's entries)
    bool integer;
    double new_value, save_value, received_value;
};

constexpr double kKeep = -1e300;  // the word keeps its value in that column
#define WORD(f) offsetof(GunProfile, f), 1
#define TABLE(f) offsetof(GunProfile, f), 6

const FieldValues kFieldValues[] = {
    {WORD(bd), false, 0.308, kKeep, 0},
    {WORD(bl), false, 1.24, kKeep, 0},
    {WORD(bw), false, 175, kKeep, 0},
    {WORD(bt), false, 10, kKeep, 0},
    {WORD(sd), true, 1, kKeep, 0},
    {TABLE(dsf), false, 1, kKeep, 0},
    {TABLE(vl), false, 0, kKeep, 0},
    {WORD(dsf_reserved), true, 0, kKeep, 0},
    {WORD(dc), true, 0, kKeep, 0},
    {WORD(bc), false, 0.475, kKeep, 0},
    {WORD(mv), false, 2600, kKeep, 0},
    {WORD(maxr), false, 1091, 1000, double{500.0f * 1.09361f}},  // received: 500 m
    {WORD(zr), false, 109.1, kKeep, 0},
    {WORD(shi), false, 1.5, kKeep, 0},
    // Zero offsets and velocity table change the holds: a new profile starts
    // without another rifle's.
    {WORD(zh), false, 0, kKeep, 0},
    {WORD(zo), false, 0, kKeep, 0},
    {TABLE(mvt_temp), false, 0, kKeep, 0},
    {TABLE(mvt_mv), false, 0, kKeep, 0},
    {WORD(az), false, 0, 0, 90},
    {WORD(lat), false, 0, 0, 40},
    {WORD(lang), false, 0, 0, 0},
    {WORD(temp), false, kStandardTemperatureF, kStandardTemperatureF, kStandardTemperatureF},
    {WORD(pres), false, kStandardPressureInHg, kStandardPressureInHg, kStandardPressureInHg},
    {WORD(hum), false, 78, 0, 78},
    {WORD(alt), false, 0, 0, 0},
    {WORD(ws), false, 0, 10, 5},
    {WORD(wd), false, 270, 90, 270},
    {WORD(ou), true, 1, kKeep, 1},
    {WORD(spare3), false, kKeep, 1, 0},
    {WORD(ssfV), false, 1, kKeep, 1},  // a save bounds it (below)
    {WORD(ssfH), false, 1, kKeep, 1},
    {WORD(env2_temp), false, kKeep, kStandardTemperatureF, 0},
    {WORD(env2_pres), false, kKeep, kStandardPressureInHg, 0},
    {WORD(env2_hum), false, kKeep, 78, 0},
    {WORD(env2_alt), false, kKeep, 0, 0},
    {WORD(eu), true, 1, kKeep, 0},
    {WORD(wu), true, 1, kKeep, 0},
    {WORD(ce), true, 1, kKeep, 0},
    {WORD(cw), true, 1, kKeep, 0},
    {WORD(cve), true, 10, kKeep, 0},
    {WORD(cvw), true, 10, kKeep, 0},
    {offsetof(GunProfile, spare4), 4, true, kKeep, 0, 0},
};

#undef WORD
#undef TABLE

enum class Column { made_new, saved, received };

void apply_column(GunProfile& p, Column c)
{
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&p);
    for (const FieldValues& f : kFieldValues) {
        double v = c == Column::made_new ? f.new_value : c == Column::saved ? f.save_value : f.received_value;
        if (v == kKeep) continue;
        for (int i = 0; i < f.words; ++i) {
            unsigned char* at = bytes + f.offset + 4 * static_cast<size_t>(i);
            if (f.integer) {
                int32_t w = static_cast<int32_t>(v);
                std::memcpy(at, &w, 4);
            } else {
                float w = static_cast<float>(v);
                std::memcpy(at, &w, 4);
            }
        }
    }
}

}  // namespace

void prepare_profile_for_save(GunProfile& p)
{
    apply_column(p, Column::saved);
    // Bounds inclusive; a NaN compares false and is kept.
    if (p.ssfV < 0.1f || p.ssfV > 10.0f) p.ssfV = 1.0f;
    if (p.ssfH < 0.1f || p.ssfH > 10.0f) p.ssfH = 1.0f;
}

void apply_new_profile_values(GunProfile& p)
{
    apply_column(p, Column::made_new);
    p.name[0] = ' ';
    p.name[1] = '\0';
}

void apply_received_profile_values(GunProfile& p)
{
    std::memset(&p, 0, sizeof p);
    apply_column(p, Column::received);
}

void establish_profile_invariants(GunProfile& p)
{
    p.sd = (p.bt >= 0.0f) ? 1 : -1;  // NaN fails the test: -1
    for (int32_t* code : {&p.eu, &p.wu, &p.ce, &p.cw})
        if (*code < 1 || *code > 4) *code = 1;
    for (int32_t* count : {&p.cve, &p.cvw})
        if (*count < 1 || *count > 20) *count = 1;
}

std::string profile_name(const GunProfile& p)
{
    size_t n = 0;
    while (n < kProfileNameBytes && p.name[n] != '\0') ++n;
    return std::string(p.name, n);
}

void set_profile_name(GunProfile& p, const char* text)
{
    if (!text) text = "";
    size_t n = std::strlen(text);
    if (n > kProfileNameBytes) {
        n = kProfileNameBytes;
        // Step back over at most three continuation bytes so that no
        // character is split.
        for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++back) --n;
    }
    std::memcpy(p.name, text, n);
    p.name[n] = '\0';
}
