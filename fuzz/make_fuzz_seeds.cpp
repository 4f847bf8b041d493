// Writes the seed corpus of every fuzz target into <fuzz folder>/<target>/seeds/
// from the project's own code: profiles as the editor makes them, their lines
// as the link builds them, frames as the codec encodes them, rows of the
// bullet data. Usage: make_fuzz_seeds <fuzz folder> <bullets.tsv>
#include "editor/form_model.h"
#include "fuzz_support.h"
#include "link/frame_codec.h"
#include "link/profile_lines.h"
#include "profile/gun_profile.h"
#include "profile/units.h"
#include "settings/settings_file.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path fuzz_dir;

void seed(const char* target, const std::string& name, const std::string& bytes)
{
    const fs::path dir = fuzz_dir / target / "seeds";
    fs::create_directories(dir);
    fuzz_write_file((dir / name).string(), bytes.data(), bytes.size());
}

std::string bytes_of(const GunProfile& p) { return std::string(reinterpret_cast<const char*>(&p), sizeof p); }

GunProfile new_gun(const char* name)
{
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, name);
    return p;
}

// A profile with every table filled and its own drag curve.
GunProfile full_gun(const char* name)
{
    GunProfile p = new_gun(name);
    p.dc = 10;
    p.bt = -11.25f;
    p.zh = -0.4f;
    p.zo = 0.2f;
    p.ssfV = 1.125f;
    p.eu = 2;
    p.ce = 3;
    p.cve = 4;
    for (int i = 0; i < 6; ++i) {
        p.mvt_temp[i] = -10.0f + 15.0f * static_cast<float>(i);
        p.mvt_mv[i] = 2500.0f + static_cast<float>(i);
        p.vl[i] = 0.5f * static_cast<float>(i);
        p.dsf[i] = 1.0f - 0.01f * static_cast<float>(i);
    }
    for (int i = 0; i < 32; ++i) p.cc[i] = {0.1f * static_cast<float>(i), 0.3f - 0.002f * static_cast<float>(i)};
    return p;
}

profile_line_set lines_of(const GunProfile& p, bool relay, float version)
{
    profile_line_set l;
    std::string why;
    FUZZ_CHECK(build_profile_lines(p, relay, version, &l, &why), "%s", why.c_str());
    return l;
}

// A data line without its checksum suffix: "text XX\r" -> "text".
std::string bare(const std::string& line) { return line.substr(0, line.size() - 4); }

std::string transcript(const std::vector<GunProfile>& guns, bool relay, float version)
{
    std::string s;
    for (const GunProfile& g : guns) {
        const profile_line_set l = lines_of(g, relay, version);
        s += l.name + l.main + l.mv_table + l.drag + l.mach + ":AS\r";
    }
    return s;
}

std::string frame_of(const uint8_t* message, size_t n)
{
    uint8_t frame[frame_buffer_size];
    const size_t len = frame_encode(message, n, frame);
    return std::string(reinterpret_cast<const char*>(frame), len);
}

std::string text_frame(uint16_t code, const std::string& text)
{
    uint8_t message[message_header_size + message_max_text];
    return frame_of(message, build_text_message(message, code, text.data(), text.size()));
}

std::string version_frame(const char* ten)
{
    uint8_t message[14] = {3, 0, 10, 0};
    std::memcpy(message + 4, ten, strnlen(ten, 10));
    return frame_of(message, sizeof message);
}

std::string ack_frame()
{
    const uint8_t message[6] = {4, 0, 2, 0, 0, 0};
    return frame_of(message, sizeof message);
}

// Input reports as the bridge sends them: [report length][count][data].
std::string reports_of(const std::string& bytes)
{
    std::string s;
    for (size_t i = 0; i < bytes.size(); i += 63) {
        const std::string part = bytes.substr(i, 63);
        s += static_cast<char>(part.size() + 1);
        s += static_cast<char>(part.size());
        s += part;
    }
    return s;
}

void profile_file_seeds()
{
    const GunProfile gun = full_gun("GUN 308");
    seed("profile_file", "new.pro", bytes_of(new_gun("NEW")));
    seed("profile_file", "full.pro", bytes_of(gun));
    seed("profile_file", "legacy.pro", bytes_of(gun).substr(0, kLegacyProfileSize));
    seed("profile_file", "between.pro", bytes_of(gun).substr(0, 500));
    seed("profile_file", "longer.pro", bytes_of(gun) + std::string(44, '\0'));
}

void settings_seeds()
{
    const fs::path tmp = fuzz_temp_folder("seeds");
    const std::string path = (tmp / "settings.ini").string();
    auto one = [&](const char* name, int units, const char* folder) {
        char field[settings_folder_size] = {};
        std::snprintf(field, sizeof field, "%s", folder);
        FUZZ_CHECK(write_settings_file(path.c_str(), units, field), "cannot write settings");
        seed("settings_file", name, fuzz_read_file(path));
    };
    one("mixed", kUnitsMixed, "");
    one("metric_folder", kUnitsMetric, "/home/user/wrist unit/profiles");
    seed("settings_file", "short", std::string("\x02\0\0\0/mnt", 8));
}

void line_checksum_seeds()
{
    const profile_line_set l = lines_of(full_gun("GUN 308"), false, 1.11f);
    seed("line_checksum", "main", "\x08" + bare(l.main) + "\r");
    seed("line_checksum", "table", "\x03" + bare(l.mv_table) + "\r");
    seed("line_checksum", "checked", std::string(1, '\0') + l.drag);
    seed("line_checksum", "short", "\x05:AS\r");
}

void com_seeds()
{
    const std::string t = transcript({new_gun("NEW"), full_gun("GUN 308")}, false, 1.11f);
    seed("com_lines", "download", "\x11:AG,02\r" + t);
    std::string mixed = std::string("\x42") + ":AQ\n\r\n" + std::string(3, '\0') + ":AG,01\r:AN,*A\0B\r";
    seed("com_lines", "mixed_ends", mixed);
    seed("com_lines", "long_lines", "\x07" + std::string(1100, 'x') + "\r" + std::string(1022, 'y') + "\n" +
                                        std::string(1023, 'z') + "\r:AS\r");
}

void frame_seeds()
{
    seed("frames", "stream", std::string("\x7e\x7e") + text_frame(message_code_connect, "") + version_frame("1.12.3") +
                                 ack_frame() + "garbage" + text_frame(0, ":AN,*GUN 308\r"));
    seed("frames", "command", std::string("\x5e\x00", 2) + ":AD,01\r");
    seed("frames", "escapes", std::string("\x5e\x00", 2) + ":AN,*~}\x03~\r");
    seed("frames", "bad_crc", text_frame(0, ":AG,02\r").substr(0, 8) + "\x7e");
}

void hid_seeds()
{
    const std::string frames = version_frame("1.12.3") + ack_frame() + text_frame(0, ":AG,01\r") +
                               text_frame(0, lines_of(full_gun("GUN 308"), false, 1.11f).main);
    seed("hid_reports", "reads", "\x02" + reports_of(frames));
    seed("hid_reports", "poll", "\x01" + reports_of(frames));
    // A count beyond the report, an empty report, a failed read.
    std::string odd = std::string("\x04\x05\xc8" "abcd", 7) + std::string(1, '\0') + "\xff" + reports_of(ack_frame());
    seed("hid_reports", "malformed", "\x04" + odd);
    seed("hid_reports", "malformed_poll", "\x03" + odd);
}

void poll_seeds()
{
    seed("poll_commands", "acked", "1.12.3\nH:AD\nT:AG,00\nP\nE\nP9\nW2500\nP9\n");
    seed("poll_commands", "unacked", "\nA2\nH:AD,01\nH:AK\nT:AQ\nT:AQ\nP2\nS:AD\nP9\n");
    seed("poll_commands", "faults", "1.11\nK:AD\nC\nT:AN,*X\nB\x7e\x7e\x7e\nH:AD\nT:AQ\nP\n");
}

void download_seeds()
{
    struct style {
        const char* name;
        bool relay;
        float version;
        const char* settings;
    };
    for (const style& s : {style{"bulk", false, 1.11f, "01.11"}, style{"bulk_112", false, 1.12f, "01.12"},
                           style{"bulk_ack", false, 1.123f, "01.123"}, style{"indexed", true, 1.11f, "11.11"}}) {
        std::string script = std::string(s.settings) + "\n";
        if (!s.relay) script += "L:AG,02\n";
        int n = 0;
        for (const GunProfile& g : {new_gun("NEW"), full_gun("GUN 308")}) {
            const profile_line_set l = lines_of(g, s.relay, s.version);
            script += "R" + l.name + "\n";
            // One profile's data lines as received, the other's with the checksum made here.
            if (n++ == 0) script += "R" + l.main + "\nR" + l.mv_table + "\nR" + l.drag + "\nR" + l.mach + "\n";
            else script += "C" + bare(l.main) + "\nC" + bare(l.mv_table) + "\nC" + bare(l.drag) + "\nC" + bare(l.mach) + "\n";
            script += "L:AS\n";
        }
        if (s.relay) script += "L:AN,INVALID\nL:AS\nT0\nT1\n";
        seed("download", s.name, script);
    }
    const profile_line_set l = lines_of(full_gun("LOST"), false, 1.11f);
    seed("download", "faults", "0\nL:AG,03\nR" + l.name + "\nR" + l.main + "\nL:AS\nR" + l.main + "\nL:AN,*../x\nT0\nX\nD\n");
}

void upload_seeds()
{
    auto one = [](const char* name, const GunProfile& p, uint8_t flags) {
        seed("upload_lines", name, bytes_of(p) + std::string(1, static_cast<char>(flags)));
    };
    one("new_bulk", new_gun("NEW"), 0);
    one("full_relay", full_gun("GUN 308"), 1);
    one("full_112", full_gun("GUN 308"), 2);
    one("full_ack", full_gun("GUN 308"), 6);
}

void bullet_seeds(const std::string& tsv_path)
{
    const std::string tsv = fuzz_read_file(tsv_path);
    FUZZ_CHECK(!tsv.empty(), "cannot read %s", tsv_path.c_str());
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < tsv.size();) {
        size_t end = tsv.find('\n', pos);
        if (end == std::string::npos) end = tsv.size();
        lines.push_back(tsv.substr(pos, end - pos));
        pos = end + 1;
    }
    auto rows = [&](size_t from, size_t n, const char* eol) {
        std::string s = lines[0] + eol;
        for (size_t i = from; i < from + n && i < lines.size(); ++i) s += lines[i] + eol;
        return s;
    };
    seed("bullet_data", "first", rows(1, 4, "\n"));
    seed("bullet_data", "middle", rows(lines.size() / 2, 6, "\n"));
    seed("bullet_data", "last_crlf", rows(lines.size() - 4, 4, "\r\n"));
}

void form_seeds()
{
    for (int units : {kUnitsMixed, kUnitsEnglish, kUnitsMetric}) {
        GunProfile p = full_gun("GUN 308");
        FormState f;
        profile_to_form(p, units, f);
        std::string s(reinterpret_cast<const char*>(&units), 4);
        for (const std::string* t : {&f.bw, &f.ssfV, &f.ssfH, &f.clickvalE, &f.clickvalW, &f.bh, &f.zh, &f.zo, &f.bd,
                                     &f.bl, &f.tr, &f.mv, &f.zr, &f.bc, &f.eunits, &f.wunits, &f.clicke_units,
                                     &f.clickw_units})
            s += *t + "\n";
        for (int i = 0; i < 6; ++i) s += f.temp[i] + "\n" + f.mvt[i] + "\n" + f.vel[i] + "\n" + f.dsf[i] + "\n";
        s += units == kUnitsMetric ? "c" : "1";
        seed("form_numbers", "units" + std::to_string(units), s);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FUZZ_FOLDER BULLETS_TSV\n", argv[0]);
        return 2;
    }
    fuzz_dir = argv[1];
    profile_file_seeds();
    settings_seeds();
    line_checksum_seeds();
    com_seeds();
    frame_seeds();
    hid_seeds();
    poll_seeds();
    download_seeds();
    upload_seeds();
    bullet_seeds(argv[2]);
    form_seeds();
    return 0;
}
