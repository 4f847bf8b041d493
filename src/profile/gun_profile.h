// The 556-byte gun profile record, the one current profile `cvIn`, and the
// pure data operations on it: reading both file layouts, the save-time and
// new-profile values, the invariants, the name field, and atomic writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "profile files are little-endian and are mapped onto the record directly");

struct CurvePoint {
    float mach;
    float cd;
};

struct GunProfile {
    float bd;      // bullet diameter, inches
    float bl;      // bullet length, inches
    float bw;      // bullet weight, grains
    float bt;      // twist rate, inches per turn; sign = direction
    int32_t sd;    // twist direction, sign of bt
    float dsf[6];  // drop scale factors
    float vl[6];   // Mach numbers of the drop scale factor table
    int32_t dsf_reserved;
    CurvePoint cc[32];  // custom drag curve
    int32_t dc;         // 0 G1, 1 G7, 10 custom
    float bc;           // ballistic coefficient
    float mv;           // muzzle velocity, ft/s
    float maxr;         // yards
    float zr;           // zero range, yards
    float shi;          // sight height, inches
    float zh;           // zero height, inches
    float zo;           // zero offset, inches
    float az;
    float lat;
    float lang;
    float spare1;
    float temp;  // deg F
    float pres;  // inHg
    float hum;   // percent
    float alt;
    float ws;
    float spare2;
    float wd;
    int32_t ou;
    float mvt_temp[6];  // deg F
    float mvt_mv[6];    // ft/s; 0 marks an empty row
    float spare3;
    float ssfV;
    float ssfH;
    float env2_temp;
    float env2_pres;
    float env2_hum;
    float env2_alt;
    int32_t eu, wu;    // output units 1..4
    int32_t ce, cw;    // click units 1..3
    int32_t cve, cvw;  // clicks per click unit 1..20
    int32_t spare4[4];
    char name[32];  // NUL-terminated
};

constexpr size_t kProfileSize = 556;
constexpr size_t kLegacyProfileSize = 428;
constexpr size_t kProfileNameBytes = 31;  // text bytes; the 32nd holds the NUL

// The standard atmosphere that new, saved and received profiles carry.
constexpr float kStandardTemperatureF = 59.0f;
constexpr float kStandardPressureInHg = 29.92f;

static_assert(sizeof(GunProfile) == kProfileSize, "profile record must be 556 bytes");
static_assert(offsetof(GunProfile, bd) == 0);
static_assert(offsetof(GunProfile, bl) == 4);
static_assert(offsetof(GunProfile, bw) == 8);
static_assert(offsetof(GunProfile, bt) == 12);
static_assert(offsetof(GunProfile, sd) == 16);
static_assert(offsetof(GunProfile, dsf) == 20);
static_assert(offsetof(GunProfile, vl) == 44);
static_assert(offsetof(GunProfile, dsf_reserved) == 68);
static_assert(offsetof(GunProfile, cc) == 72);
static_assert(offsetof(GunProfile, dc) == 328);
static_assert(offsetof(GunProfile, bc) == 332);
static_assert(offsetof(GunProfile, mv) == 336);
static_assert(offsetof(GunProfile, maxr) == 340);
static_assert(offsetof(GunProfile, zr) == 344);
static_assert(offsetof(GunProfile, shi) == 348);
static_assert(offsetof(GunProfile, zh) == 352);
static_assert(offsetof(GunProfile, zo) == 356);
static_assert(offsetof(GunProfile, az) == 360);
static_assert(offsetof(GunProfile, lat) == 364);
static_assert(offsetof(GunProfile, lang) == 368);
static_assert(offsetof(GunProfile, spare1) == 372);
static_assert(offsetof(GunProfile, temp) == 376);
static_assert(offsetof(GunProfile, pres) == 380);
static_assert(offsetof(GunProfile, hum) == 384);
static_assert(offsetof(GunProfile, alt) == 388);
static_assert(offsetof(GunProfile, ws) == 392);
static_assert(offsetof(GunProfile, spare2) == 396);
static_assert(offsetof(GunProfile, wd) == 400);
static_assert(offsetof(GunProfile, ou) == 404);
static_assert(offsetof(GunProfile, mvt_temp) == 408);
static_assert(offsetof(GunProfile, mvt_mv) == 432);
static_assert(offsetof(GunProfile, spare3) == 456);
static_assert(offsetof(GunProfile, ssfV) == 460);
static_assert(offsetof(GunProfile, ssfH) == 464);
static_assert(offsetof(GunProfile, env2_temp) == 468);
static_assert(offsetof(GunProfile, env2_pres) == 472);
static_assert(offsetof(GunProfile, env2_hum) == 476);
static_assert(offsetof(GunProfile, env2_alt) == 480);
static_assert(offsetof(GunProfile, eu) == 484);
static_assert(offsetof(GunProfile, wu) == 488);
static_assert(offsetof(GunProfile, ce) == 492);
static_assert(offsetof(GunProfile, cw) == 496);
static_assert(offsetof(GunProfile, cve) == 500);
static_assert(offsetof(GunProfile, cvw) == 504);
static_assert(offsetof(GunProfile, spare4) == 508);
static_assert(offsetof(GunProfile, name) == 524);

// The one current profile, shown and edited by the form. Zero at start.
extern GunProfile cvIn;

// Applies the bytes of a profile file (`size` bytes at `data`) to `p`, as a
// load does: a file of 556 bytes or more is the current layout (first 556
// bytes); a shorter one is the legacy layout, its missing bytes read as zero;
// fields the legacy layout lacks keep what `p` held.
void apply_profile_bytes(GunProfile& p, const unsigned char* data, size_t size);

// What reading a profile file found. Only a file of exactly 556 bytes (the
// record) or 428 bytes (the older layout) is a profile; anything else is
// refused with its size, and `p` is left as it was.
struct ProfileFileRead {
    bool read = false;           // `p` was filled from the file
    bool legacy = false;         // it was the older 428-byte layout, converted
    int error = 0;               // errno when it could not be opened or read (EISDIR: a folder)
    bool not_a_profile = false;  // it was read to its end and holds neither 556 nor 428 bytes
    uint64_t size = 0;           // the bytes it holds (with not_a_profile)
    bool size_known = true;      // false for a stream longer than a record: "more than 556"
    // Why it was not read, without the path; with not_a_profile "it holds 300
    // bytes, too few for a profile (556 or 428)" (too many, more than 556).
    std::string reason;
    explicit operator bool() const { return read; }
};

// Reads the profile file at `path` into `p` (apply_profile_bytes). The one
// reader of .pro files: the editor, the command-line tool and the upload use
// it. A pipe is read to its end like a file.
ProfileFileRead read_profile_file(const std::string& path, GunProfile& p);
// The same from a descriptor already open; not closed.
ProfileFileRead read_profile_stream(int fd, GunProfile& p);
// The same for the whole of an input already read (standard input).
ProfileFileRead read_profile_bytes(const unsigned char* data, size_t size, GunProfile& p);

// Writes the 556 bytes of `p` to `path` through a temporary file in the same
// folder renamed over the target. Returns false (and leaves any previous file
// as it was) when anything fails; `error` then says why.
bool write_profile_bytes(const std::string& path, const GunProfile& p, std::string* error = nullptr);

// The fixed values every save writes (maxr 1000, environment, ssf bounds...).
void prepare_profile_for_save(GunProfile& p);

// The new-profile values. The custom curve, the spares and the second
// atmosphere keep what they held (they change no hold); `name` becomes " "
// with its remaining bytes untouched.
void apply_new_profile_values(GunProfile& p);

// A zero record with the values a profile received from a device starts
// with (the device's own atmosphere, azimuth 90 and latitude 40); the lines
// then fill in the rest.
void apply_received_profile_values(GunProfile& p);

// The invariants re-established on showing: sd follows bt, unit codes in
// 1..4, click counts in 1..20 (anything outside becomes 1).
void establish_profile_invariants(GunProfile& p);

// The name text: up to its NUL, and never more than 31 bytes.
std::string profile_name(const GunProfile& p);

// Stores `text` as the name, cut to at most 31 bytes at a UTF-8 character
// boundary, NUL-terminated; the bytes after the NUL are left as they were.
void set_profile_name(GunProfile& p, const char* text);
