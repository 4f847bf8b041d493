#include "profile/gun_profile.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes bytes_of(const GunProfile& p)
{
    auto b = reinterpret_cast<const unsigned char*>(&p);
    return Bytes(b, b + sizeof p);
}

// A record whose every byte differs, so misplaced copies show.
GunProfile patterned(unsigned char seed)
{
    GunProfile p;
    auto b = reinterpret_cast<unsigned char*>(&p);
    for (size_t i = 0; i < sizeof p; ++i) b[i] = static_cast<unsigned char>(i * 7 + seed);
    return p;
}

void put_float(Bytes& b, size_t at, float v) { std::memcpy(b.data() + at, &v, 4); }

Bytes read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/sl_profile_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
    size_t entries() const { return std::distance(fs::directory_iterator(dir), fs::directory_iterator()); }
    fs::path dir;
};

// Writes `p` as a user that folder permissions apply to. Root passes every
// permission check, so as root the write is made by a child process that has
// become nobody (65534).
bool write_as_unprivileged(const fs::path& path, const GunProfile& p)
{
    if (geteuid() != 0) return write_profile_bytes(path, p);
    pid_t child = fork();
    if (child == 0) {
        bool dropped = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
        _exit(!dropped ? 2 : write_profile_bytes(path, p) ? 1 : 0);
    }
    int status = 0;
    bool ended = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status);
    if (!ended || WEXITSTATUS(status) == 2) ADD_FAILURE() << "could not try the write without root";
    return !ended || WEXITSTATUS(status) != 0;
}

}  // namespace

TEST_F(ProfileFile, SavedFileIsTheRecordByteForByte)
{
    GunProfile p = patterned(3);
    fs::path path = dir / "a.pro";
    ASSERT_TRUE(write_profile_bytes(path, p));
    EXPECT_EQ(read_file(path), bytes_of(p));
    EXPECT_EQ(entries(), 1u);  // no temporary left behind

    GunProfile q{};
    ASSERT_TRUE(read_profile_file(path, q));
    EXPECT_EQ(bytes_of(q), bytes_of(p));

    // Little-endian fields at their offsets.
    apply_new_profile_values(p);
    ASSERT_TRUE(write_profile_bytes(path, p));
    Bytes b = read_file(path);
    float mv;
    std::memcpy(&mv, b.data() + 336, 4);
    EXPECT_EQ(mv, 2600.0f);
    EXPECT_EQ(b[524], ' ');
    EXPECT_EQ(b[525], 0);
}

// The conversion takes any length of bytes (the reader gives it whole
// records and older ones only).
TEST(ProfileBytes, LongerBytesApplyTheirFirst556)
{
    Bytes b = bytes_of(patterned(9));
    b.resize(600, 0xEE);
    GunProfile p = patterned(1);
    apply_profile_bytes(p, b.data(), b.size());
    EXPECT_EQ(bytes_of(p), Bytes(b.begin(), b.begin() + 556));
}

TEST_F(ProfileFile, LegacyLayoutMovesFieldsAndKeepsTheRest)
{
    Bytes legacy(428);
    for (size_t i = 0; i < legacy.size(); ++i) legacy[i] = static_cast<unsigned char>(i * 13 + 5);
    put_float(legacy, 0, 0.308f);
    put_float(legacy, 348, 1.75f);
    const float moved[10] = {90.0f, 40.0f, 5, 6, 70, 28.5f, 50, 100, 3, 180};
    for (int i = 0; i < 10; ++i) put_float(legacy, 352 + 4 * i, moved[i]);

    const GunProfile prev = patterned(42);
    GunProfile p = prev;
    apply_profile_bytes(p, legacy.data(), legacy.size());

    EXPECT_EQ(p.bd, 0.308f);
    EXPECT_EQ(p.shi, 1.75f);
    EXPECT_EQ(p.zh, 0.0f);  // legacy azimuth 90 is no zero height
    EXPECT_EQ(p.zo, 0.0f);  // nor latitude 40 a zero offset
    EXPECT_EQ(p.az, 90.0f);
    EXPECT_EQ(p.lat, 40.0f);
    EXPECT_EQ(p.lang, 5.0f);
    EXPECT_EQ(p.spare1, 6.0f);
    EXPECT_EQ(p.temp, 70.0f);
    EXPECT_EQ(p.pres, 28.5f);
    EXPECT_EQ(p.hum, 50.0f);
    EXPECT_EQ(p.alt, 100.0f);
    EXPECT_EQ(p.ws, 3.0f);
    EXPECT_EQ(p.wd, 180.0f);
    EXPECT_EQ(p.ssfV, 1.0f);
    EXPECT_EQ(p.ssfH, 1.0f);

    Bytes got = bytes_of(p), old = bytes_of(prev);
    EXPECT_EQ(Bytes(got.begin() + 396, got.begin() + 400), Bytes(legacy.begin() + 396, legacy.begin() + 400));
    EXPECT_EQ(Bytes(got.begin() + 404, got.begin() + 428), Bytes(legacy.begin() + 404, legacy.end()));
    // From 428 on the previous profile stays, except the two scale factors.
    for (size_t i = 428; i < 556; ++i) {
        if (i < 460 || i >= 468) {
            EXPECT_EQ(got[i], old[i]) << "byte " << i;
        }
    }

    put_float(legacy, 352, 89.0f);  // not the marker value: kept as zero height
    apply_profile_bytes(p, legacy.data(), legacy.size());
    EXPECT_EQ(p.zh, 89.0f);
}

TEST(ProfileBytes, ShortBytesReadMissingBytesAsZero)
{
    Bytes small = bytes_of(patterned(7));
    small.resize(100);
    const GunProfile prev = patterned(77);
    GunProfile p = prev;
    apply_profile_bytes(p, small.data(), small.size());
    Bytes got = bytes_of(p), old = bytes_of(prev);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 100), small);
    for (size_t i = 100; i < 428; ++i) EXPECT_EQ(got[i], 0) << "byte " << i;
    EXPECT_EQ(got[556 - 1], old[556 - 1]);
    EXPECT_EQ(p.ssfV, 1.0f);

    p = prev;
    apply_profile_bytes(p, nullptr, 0);
    EXPECT_EQ(p.bd, 0.0f);
    EXPECT_EQ(std::memcmp(p.name, prev.name, 32), 0);
}

TEST(ProfileBytes, BytesBetweenTheTwoSizesLayAllOverTheRecord)
{
    Bytes mid = bytes_of(patterned(3));
    mid.resize(500);
    const GunProfile prev = patterned(91);
    GunProfile p = prev;
    apply_profile_bytes(p, mid.data(), mid.size());
    Bytes got = bytes_of(p), old = bytes_of(prev);
    for (size_t i = 428; i < 500; ++i) {
        if (i < 460 || i >= 468) {
            EXPECT_EQ(got[i], mid[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(p.ssfV, 1.0f);  // the scale factors are reset as for any old file
    EXPECT_EQ(p.ssfH, 1.0f);
    for (size_t i = 500; i < 556; ++i) EXPECT_EQ(got[i], old[i]) << "byte " << i;
    // Still the legacy layout below 428: the old az sits in az's new place.
    EXPECT_EQ(std::memcmp(&p.az, mid.data() + 352, 4), 0);
}

TEST_F(ProfileFile, MissingFileLeavesTheRecord)
{
    GunProfile p = patterned(5);
    Bytes before = bytes_of(p);
    EXPECT_FALSE(read_profile_file(dir / "nothing.pro", p));
    EXPECT_FALSE(read_profile_file(dir.string(), p));  // a folder is no profile
    EXPECT_EQ(bytes_of(p), before);
}

TEST_F(ProfileFile, FailedWriteKeepsTheOldFile)
{
    GunProfile p = patterned(1);
    std::string error;
    EXPECT_FALSE(write_profile_bytes(dir / "missing" / "a.pro", p, &error));
    EXPECT_FALSE(error.empty());

    // A folder in the target's place cannot be replaced.
    fs::create_directory(dir / "busy.pro");
    write_file(dir / "busy.pro" / "keep", {1, 2, 3});
    EXPECT_FALSE(write_profile_bytes(dir / "busy.pro", p));
    EXPECT_EQ(read_file(dir / "busy.pro" / "keep"), (Bytes{1, 2, 3}));
    EXPECT_EQ(entries(), 1u);
}

// What is at a path decides both ways: only a regular file is replaced (a
// link is written through and stays), and only a file of 556 or 428 bytes
// is read as a profile. Whatever is refused is left as it was.
TEST_F(ProfileFile, OnlyFilesAreReplacedAndOnlyProfilesRead)
{
    const GunProfile saved = patterned(4);
    const auto sized = [this](size_t n) { return [this, n](const fs::path& at) { write_file(at, Bytes(n, 0x41)); }; };
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;  // puts it at the path
        int written;                                // 1 replaced, 0 refused, -1 not tried
        const char* read_reason;                    // "" reads as a profile
    } rows[] = {
        {"a record", sized(556), 1, ""},
        {"an older record", sized(428), 1, ""},
        {"an empty file", sized(0), 1, "it holds 0 bytes, too few for a profile (556 or 428)"},
        {"a short file", sized(427), 1, "it holds 427 bytes, too few"},
        {"one byte more", sized(557), 1, "it holds 557 bytes, too many"},
        {"1 MB", sized(1 << 20), 1, "it holds 1048576 bytes, too many"},
        {"a link to a record",
         [&](const fs::path& at) { sized(556)(dir / "target"), fs::create_symlink("target", at); }, 1, ""},
        {"a dangling link", [&](const fs::path& at) { fs::create_symlink(dir / "target", at); }, 1,
         "No such file or directory"},
        {"a folder", [](const fs::path& at) { fs::create_directory(at); }, 0, "it is a folder"},
        {"a FIFO", [](const fs::path& at) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }, 0, "it holds 0 bytes"},
        {"a device", [](const fs::path& at) { ASSERT_EQ(mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0); }, 0,
         "it holds 0 bytes"},
        {"a link to a device", [](const fs::path& at) { fs::create_symlink("/dev/null", at); }, 0, "it holds 0 bytes"},
        {"/dev/null itself", {}, -1, "it holds 0 bytes"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (std::string(row.what) == "a device" && geteuid() != 0) continue;  // mknod needs root
        const fs::path at = row.make ? dir / "p.pro" : fs::path("/dev/null");
        if (row.make) row.make(at);
        const auto kind = fs::symlink_status(at).type();

        GunProfile p = patterned(8);
        const ProfileFileRead r = read_profile_file(at, p);
        EXPECT_EQ(r.read, !*row.read_reason);
        if (*row.read_reason) {
            EXPECT_EQ(bytes_of(p), bytes_of(patterned(8)));
            EXPECT_EQ(r.reason.rfind(row.read_reason, 0), 0u) << r.reason;
        }

        if (row.written >= 0) {
            std::string error;
            EXPECT_EQ(write_profile_bytes(at, saved, &error), row.written == 1) << error;
            EXPECT_EQ(fs::symlink_status(at).type(), kind);  // a link stays a link
            if (row.written) EXPECT_EQ(read_file(at), bytes_of(saved));
            else EXPECT_NE(error.find(at.string()), std::string::npos) << error;
        }
        std::error_code ec;
        fs::remove_all(dir, ec);
        fs::create_directory(dir);
    }
}

TEST_F(ProfileFile, WriteIntoReadOnlyFolderFails)
{
    GunProfile p = patterned(1);
    write_file(dir / "old.pro", {9, 9});
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    EXPECT_FALSE(write_as_unprivileged(dir / "old.pro", p));
    EXPECT_EQ(read_file(dir / "old.pro"), (Bytes{9, 9}));
    EXPECT_EQ(entries(), 1u);
}

TEST(ProfileValues, SaveTimeValues)
{
    GunProfile p = patterned(11);
    p.ssfV = 0.1f;
    p.ssfH = 10.0f;
    prepare_profile_for_save(p);
    EXPECT_EQ(p.maxr, 1000.0f);
    EXPECT_EQ(p.az + p.lat + p.lang + p.hum + p.alt + p.env2_alt, 0.0f);
    EXPECT_EQ(p.temp, 59.0f);
    EXPECT_EQ(p.pres, 29.92f);
    EXPECT_EQ(p.ws, 10.0f);
    EXPECT_EQ(p.wd, 90.0f);
    EXPECT_EQ(p.env2_temp, 59.0f);
    EXPECT_EQ(p.env2_pres, 29.92f);
    EXPECT_EQ(p.env2_hum, 78.0f);
    EXPECT_EQ(p.spare3, 1.0f);
    for (int32_t w : p.spare4) EXPECT_EQ(w, 0);
    EXPECT_EQ(p.ssfV, 0.1f);  // bounds are inclusive
    EXPECT_EQ(p.ssfH, 10.0f);

    p.ssfV = 0.05f;
    p.ssfH = 12.0f;
    prepare_profile_for_save(p);
    EXPECT_EQ(p.ssfV, 1.0f);
    EXPECT_EQ(p.ssfH, 1.0f);

    p.ssfV = NAN;
    prepare_profile_for_save(p);
    EXPECT_TRUE(std::isnan(p.ssfV));
}

TEST(ProfileValues, NewProfileKeepsOnlyFieldsThatChangeNoHold)
{
    const GunProfile prev = patterned(21);
    GunProfile p = prev;
    apply_new_profile_values(p);
    EXPECT_EQ(p.bd, 0.308f);
    EXPECT_EQ(p.bl, 1.24f);
    EXPECT_EQ(p.bw, 175.0f);
    EXPECT_EQ(p.bt, 10.0f);
    EXPECT_EQ(p.sd, 1);
    EXPECT_EQ(p.dsf[5], 1.0f);
    EXPECT_EQ(p.vl[0], 0.0f);
    EXPECT_EQ(p.dc, 0);
    EXPECT_EQ(p.bc, 0.475f);
    EXPECT_EQ(p.mv, 2600.0f);
    EXPECT_EQ(p.maxr, 1091.0f);
    EXPECT_EQ(p.zr, 109.1f);
    EXPECT_EQ(p.shi, 1.5f);
    EXPECT_EQ(p.hum, 78.0f);
    EXPECT_EQ(p.wd, 270.0f);
    EXPECT_EQ(p.ws, 0.0f);
    EXPECT_EQ(p.ou, 1);
    EXPECT_EQ(p.cve, 10);
    EXPECT_EQ(p.cw, 1);
    EXPECT_EQ(profile_name(p), " ");

    EXPECT_EQ(std::memcmp(p.cc, prev.cc, sizeof p.cc), 0);
    // The zero offsets and the velocity table change holds: a new profile
    // starts without them, as at program start.
    EXPECT_EQ(p.zh, 0.0f);
    EXPECT_EQ(p.zo, 0.0f);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.mvt_temp[i] + p.mvt_mv[i], 0.0f);
    EXPECT_EQ(std::memcmp(&p.env2_temp, &prev.env2_temp, 16), 0);
    EXPECT_EQ(std::memcmp(p.spare4, prev.spare4, 16), 0);
    EXPECT_EQ(std::memcmp(p.name + 2, prev.name + 2, 30), 0);
}

TEST(ProfileValues, InvariantsCorrectOutOfRangeValues)
{
    GunProfile p{};
    p.eu = 7;
    p.wu = 0;
    p.ce = 4;
    p.cw = -1;
    p.cve = 0;
    p.cvw = 25;
    p.bt = -11.0f;
    establish_profile_invariants(p);
    EXPECT_EQ(p.eu, 1);
    EXPECT_EQ(p.wu, 1);
    EXPECT_EQ(p.ce, 4);
    EXPECT_EQ(p.cw, 1);
    EXPECT_EQ(p.cve, 1);
    EXPECT_EQ(p.cvw, 1);
    EXPECT_EQ(p.sd, -1);

    p.cvw = 20;
    for (float bt : {0.0f, -0.0f, 9.0f}) {
        p.bt = bt;
        establish_profile_invariants(p);
        EXPECT_EQ(p.sd, 1) << bt;
    }
    EXPECT_EQ(p.cvw, 20);
    p.bt = NAN;
    establish_profile_invariants(p);
    EXPECT_EQ(p.sd, -1);
}

TEST(ProfileValues, NameIsCutOnCharacterBoundaries)
{
    GunProfile p = patterned(2);
    set_profile_name(p, "308 Win");
    EXPECT_EQ(profile_name(p), "308 Win");
    EXPECT_EQ(p.name[8], patterned(2).name[8]);  // bytes after the NUL stay

    set_profile_name(p, std::string(40, 'x').c_str());
    EXPECT_EQ(profile_name(p), std::string(31, 'x'));

    std::string euro;
    for (int i = 0; i < 10; ++i) euro += "\xE2\x82\xAC";
    set_profile_name(p, ("a" + euro).c_str());  // exactly 31 bytes
    EXPECT_EQ(profile_name(p), "a" + euro);
    set_profile_name(p, ("ab" + euro).c_str());  // 32: the last euro sign goes
    EXPECT_EQ(profile_name(p), "ab" + euro.substr(0, 27));

    std::memset(p.name, 'n', sizeof p.name);  // no NUL at all
    EXPECT_EQ(profile_name(p), std::string(31, 'n'));
}
