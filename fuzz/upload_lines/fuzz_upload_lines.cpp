// The upload's line builder on any record. Input: 556 bytes of record (short
// inputs are padded with zeros), one byte whose low bit is the relay flag,
// then the device version: four bytes of float, or the leading byte's index
// into the versions the protocol tells apart.
// When a record is accepted, every line is at most 255 characters, ends in
// CR and holds no NUL, every data line's checksum checks, and reading the
// lines back as that device's download reads them and building again gives
// the same lines, except where a reading rule sets a field rather than
// reading it (as_carried).
#include "fuzz_support.h"
#include "link/line_checksum.h"
#include "link/profile_lines.h"
#include "profile/gun_profile.h"

#include <cmath>
#include <cstring>

namespace {

const float kVersions[] = {1.11f, 1.12f, 1.12001f, 1.123f, 1.2f, 0.0f};

void check_line(const std::string& line, bool data_line, const char* which)
{
    FUZZ_CHECK(line.size() <= kMaxLineLength, "%s line of %zu characters", which, line.size());
    FUZZ_CHECK(!line.empty() && line.back() == '\r', "%s line without its CR", which);
    FUZZ_CHECK(line.find('\0') == std::string::npos, "%s line holds a NUL", which);
    FUZZ_CHECK(line.find('\r') == line.size() - 1, "%s line holds a CR before its end", which);
    if (data_line) FUZZ_CHECK(line_checksum_bad(line.c_str()) == 0, "%s line's checksum fails", which);
}

GunProfile read_back(const profile_line_set& l, bool relay, float version)
{
    const transfer_style style = relay ? transfer_style::indexed : transfer_style::bulk;
    GunProfile q;
    begin_received_profile(q, l.name.c_str());
    read_main_line(q, l.main.c_str(), style, version);
    read_mv_table_line(q, l.mv_table.c_str());
    read_drag_line(q, l.drag.c_str());
    read_mach_line(q, l.mach.c_str());
    return q;
}

// The name the name line brings back: the first text between commas (a
// run of commas counts as one); after a leading '*' (always there in the
// bulk style) or '|', ten characters.
std::string name_carried(std::string name, bool relay)
{
    if (!relay) name = "*" + name;
    name.erase(0, name.find_first_not_of(','));
    name = name.substr(0, name.find(','));
    if (!name.empty() && (name[0] == '|' || name[0] == '*')) {
        name.erase(0, 1);
        size_t chars = 0, i = 0;
        for (; i < name.size(); ++i) {
            if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
            if (chars == 10) break;
            ++chars;
        }
        name.resize(i);
    }
    return name;
}

// `p` as the lines carry it: the fields a reading rule sets instead of
// reading are taken from `q`, the record read back.
GunProfile as_carried(const GunProfile& p, const GunProfile& q, bool relay, float version)
{
    GunProfile c = p;
    std::memcpy(c.name, q.name, sizeof c.name);
    // Clamped on reading, and in the bulk style read from long lines only.
    c.ssfV = q.ssfV;
    c.ssfH = q.ssfH;
    // A right twist below 0.005 goes out as "0.00" and comes back as no
    // twist, which the left-twist form then sends.
    if (p.bt > 0.0f && q.bt <= 0.0f) c.bt = q.bt;
    if (!relay) {
        // Read only from devices above 1.12001.
        if (!(static_cast<double>(version) > 1.12001)) c.zh = c.zo = 0.0f;
        // A click unit of 10 reads as the output unit.
        if (p.ce == 10) c.ce = q.ce;
        if (p.cw == 10) c.cw = q.cw;
    }
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GunProfile p{};
    std::memcpy(&p, data, size < kProfileSize ? size : kProfileSize);
    const uint8_t flags = size > kProfileSize ? data[kProfileSize] : 0;
    const bool relay = flags & 1;
    float version = kVersions[(flags >> 1) % (sizeof kVersions / sizeof kVersions[0])];
    if (size >= kProfileSize + 5) std::memcpy(&version, data + kProfileSize + 1, 4);

    profile_line_set lines;
    std::string why;
    if (!build_profile_lines(p, relay, version, &lines, &why)) {
        FUZZ_CHECK(!why.empty(), "a record was refused without a reason");
        return 0;
    }
    check_line(lines.name, false, "name");
    check_line(lines.main, true, "main");
    check_line(lines.mv_table, true, "velocity table");
    check_line(lines.drag, true, "drag");
    check_line(lines.mach, true, "Mach");

    const GunProfile q = read_back(lines, relay, version);
    FUZZ_CHECK(profile_name(q) == name_carried(profile_name(p), relay), "name \"%s\" came back as \"%s\"",
               profile_name(p).c_str(), profile_name(q).c_str());
    profile_line_set again, want;
    // A rule may make a field longer than the line allows (a click unit of
    // 10 read as a ten-digit output unit); then there is nothing to compare.
    if (!build_profile_lines(as_carried(p, q, relay, version), relay, version, &want, &why)) return 0;
    FUZZ_CHECK(build_profile_lines(q, relay, version, &again, &why), "lines read back cannot be sent: %s",
               why.c_str());
    FUZZ_CHECK(again.name == want.name, "name line changed");
    FUZZ_CHECK(again.main == want.main, "main line changed:\n%s\n%s", want.main.c_str(), again.main.c_str());
    FUZZ_CHECK(again.mv_table == want.mv_table, "velocity table line changed");
    FUZZ_CHECK(again.drag == want.drag, "drag line changed");
    FUZZ_CHECK(again.mach == want.mach, "Mach line changed");
    return 0;
}
