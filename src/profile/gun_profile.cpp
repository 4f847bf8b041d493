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

void prepare_profile_for_save(GunProfile& p)
{
    p.maxr = 1000.0f;
    p.az = 0.0f;
    p.lat = 0.0f;
    p.lang = 0.0f;
    p.temp = kStandardTemperatureF;
    p.pres = kStandardPressureInHg;
    p.hum = 0.0f;
    p.alt = 0.0f;
    p.ws = 10.0f;
    p.wd = 90.0f;
    p.env2_temp = kStandardTemperatureF;
    p.env2_pres = kStandardPressureInHg;
    p.env2_hum = 78.0f;
    p.env2_alt = 0.0f;
    // Bounds inclusive; a NaN compares false and is kept.
    if (p.ssfV < 0.1f || p.ssfV > 10.0f) p.ssfV = 1.0f;
    if (p.ssfH < 0.1f || p.ssfH > 10.0f) p.ssfH = 1.0f;
    p.spare3 = 1.0f;
    for (int32_t& w : p.spare4) w = 0;
}

void apply_new_profile_values(GunProfile& p)
{
    p.bd = 0.308f;
    p.bl = 1.24f;
    p.bw = 175.0f;
    p.bt = 10.0f;
    p.sd = 1;
    for (float& v : p.dsf) v = 1.0f;
    for (float& v : p.vl) v = 0.0f;
    p.dsf_reserved = 0;
    p.dc = 0;
    p.bc = 0.475f;
    p.mv = 2600.0f;
    p.maxr = 1091.0f;
    p.zr = 109.1f;
    p.shi = 1.5f;
    // A new profile starts without another rifle's zero offsets and
    // velocity table: those change its holds.
    p.zh = 0.0f;
    p.zo = 0.0f;
    for (float& v : p.mvt_temp) v = 0.0f;
    for (float& v : p.mvt_mv) v = 0.0f;
    p.az = 0.0f;
    p.lat = 0.0f;
    p.lang = 0.0f;
    p.temp = kStandardTemperatureF;
    p.pres = kStandardPressureInHg;
    p.hum = 78.0f;
    p.alt = 0.0f;
    p.ws = 0.0f;
    p.wd = 270.0f;
    p.ou = 1;
    p.ssfV = 1.0f;
    p.ssfH = 1.0f;
    p.eu = p.wu = p.ce = p.cw = 1;
    p.cve = p.cvw = 10;
    p.name[0] = ' ';
    p.name[1] = '\0';
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
