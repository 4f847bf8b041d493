// stowline-cli run as a program: exit statuses, messages, files written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "ballistics/solver.h"
#include "cli/profile_fields.h"
#include "cli/profile_json.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void spill(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class CliRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/cli-test-XXXXXX";
        dir = mkdtemp(tmpl);
        GunProfile fresh = fresh_profile();
        std::strcpy(fresh.name, "BASE");
        fresh.zr = 300.0f;
        spill(dir + "/base.pro", std::string(reinterpret_cast<const char*>(&fresh), sizeof fresh));
        fresh_json = profile_to_json(fresh_profile());
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    Outcome run(const std::string& args)
    {
        const int s =
            std::system((std::string(STOWLINE_CLI) + " " + args + " >" + dir + "/out 2>" + dir + "/err").c_str());
        return {WIFEXITED(s) ? WEXITSTATUS(s) : -1, slurp(dir + "/out"), slurp(dir + "/err")};
    }
    bool exists(const std::string& name)
    {
        struct stat st;
        return stat((dir + "/" + name).c_str(), &st) == 0;
    }

    std::string dir, fresh_json;
};

std::string replaced(std::string s, const std::string& from, const std::string& to)
{
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? s : s.replace(at, from.size(), to);
}

TEST_F(CliRun, ImportRefusesNamingTheField)
{
    const std::string& j = fresh_json;
    const struct {
        std::string json;
        const char* message;
    } rows[] = {
        {replaced(j, "\"bd\"", "\"colour\": \"red\", \"bd\""), "unknown field \"colour\""},
        {replaced(j, "\"mv\": 2600.0", "\"mv\": \"fast\""), "field \"mv\": expected a number"},
        {replaced(j, "\"bd\": 0.308", "\"bd\": \"nan:0x3f800000\""), "field \"bd\": expected a number"},
        {replaced(j, "\"dsf\": [1.0, ", "\"dsf\": ["), "field \"dsf\": expected 6 values, got 5"},
        {replaced(j, "\"spare4\": [0, 0, 0, 0]", "\"spare4\": 0"), "field \"spare4\": expected an array of 4 values"},
        {replaced(j, "  \"zr\": 109.1,\n", ""), "missing field \"zr\""},
        {replaced(j, "\"name\": \" \"", "\"name_hex\": \"20\""), "field \"name_hex\": expected 64 hex digits"},
        {replaced(j, "\"name\": \" \"", "\"name\": \"" + std::string(32, 'N') + "\""),
         "field \"name\": 32 bytes, at most 31 fit"},
        {replaced(j, "\"name\": \" \"", "\"name\": \"A\\u0000B\""), "field \"name\": holds a NUL character"},
        {replaced(j, "\"name\": \" \"", "\"name\": \" \", \"name_hex\": \"" + std::string(64, '0') + "\""),
         "fields \"name\" and \"name_hex\" are both given"},
        {replaced(j, "\"cve\": 10", "\"cve\": 10.5"), "field \"cve\": expected an integer, got a number 10.5"},
        {replaced(j, "\"cve\": 10", "\"cve\": true"), "field \"cve\": expected an integer, got a boolean true"},
        {replaced(j, "\"sd\": 1", "\"sd\": 2147483648"),
         "field \"sd\": 2147483648 is outside the 32-bit integer range"},
        {replaced(j, "{\"mach\": 0.0, \"cd\": 0.0}", "{\"mach\": 0.0}"), "missing field \"cc[0].cd\""},
        {replaced(j, "{\"mach\": 0.0, \"cd\": 0.0}", "[0.0, 0.0]"), "field \"cc[0]\": expected {\"mach\""},
        {replaced(j, "\"bd\"", "\"bd\": 1.0, \"bd\""), "field \"bd\" is given twice"},
        {replaced(j, "\"mv\": 2600.0", "\"mv\": 1e39"), "not valid JSON: number overflow parsing '1e39'"},
        {"[1, 2]", "expected a JSON object holding the profile's fields, got an array"},
        {"{\"bd\": 0.308,", "not valid JSON: parse error at line 1, column 14"},
    };
    for (const auto& row : rows) {
        spill(dir + "/in.json", row.json);
        const Outcome r = run("import " + dir + "/in.json -o " + dir + "/out.pro");
        EXPECT_EQ(r.status, 2) << row.message;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << "expected: " << row.message << "\ngot: " << r.err;
        EXPECT_FALSE(exists("out.pro")) << row.message;
    }
}

TEST_F(CliRun, ExportEditImportAndDiff)
{
    // A profile through a text edit: only the edited field changes.
    ASSERT_EQ(run("export " + dir + "/base.pro -o " + dir + "/base.json").status, 0);
    spill(dir + "/edit.json", replaced(slurp(dir + "/base.json"), "\"mv\": 2600.0", "\"mv\": 2650.5"));
    ASSERT_EQ(run("--quiet import " + dir + "/edit.json -o " + dir + "/edit.pro").status, 0);
    Outcome r = run("diff " + dir + "/base.pro " + dir + "/edit.pro");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "mv: 2600.0 ft/s -> 2650.5 ft/s\n");
    r = run("diff " + dir + "/base.pro " + dir + "/base.pro");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");

    // A partial JSON takes the rest from --base.
    spill(dir + "/part.json", "{\"mv\": 2700.0, \"name\": \"PART\"}");
    EXPECT_EQ(run("import " + dir + "/part.json --base " + dir + "/base.pro -o " + dir + "/part.pro").status, 0);
    r = run("diff " + dir + "/base.pro " + dir + "/part.pro");
    EXPECT_EQ(r.out, "mv: 2600.0 ft/s -> 2700.0 ft/s\nname: \"BASE\" -> \"PART\"\n");

    // Standard input and output: the same bytes back.
    r = run("export " + dir + "/part.pro");
    spill(dir + "/stdout.json", r.out);
    EXPECT_EQ(std::system(
                  (std::string(STOWLINE_CLI) + " import - -o " + dir + "/again.pro <" + dir + "/stdout.json").c_str()),
              0);
    EXPECT_EQ(slurp(dir + "/again.pro"), slurp(dir + "/part.pro"));
}

TEST_F(CliRun, FailuresAreMessagesWithStatusTwo)
{
    spill(dir + "/legacy.pro", slurp(dir + "/base.pro").substr(0, 428));
    GunProfile p = fresh_profile();
    // A true 428-byte file: az .. ws and wd at 352 .. 391.
    std::string old(reinterpret_cast<const char*>(&p), 428);
    old.replace(352, 36, reinterpret_cast<const char*>(&p.az), 36)
        .replace(388, 4, reinterpret_cast<const char*>(&p.wd), 4);
    spill(dir + "/old.pro", old);
    GunProfile tabled = p;
    for (int i = 0; i < 2; ++i) tabled.mvt_temp[i] = 20.0f + 60.0f * i, tabled.mvt_mv[i] = 2500.0f + 20.0f * i;
    spill(dir + "/tabled.pro", std::string(reinterpret_cast<const char*>(&tabled), sizeof tabled));
    spill(dir + "/mv.json", "{\"mv\": 2700.0}");
    p.bc = 0.0f;
    spill(dir + "/nobc.pro", std::string(reinterpret_cast<const char*>(&p), sizeof p));
    spill(dir + "/big.pro", std::string(1 << 20, 'x'));
    spill(dir + "/odd.pro", std::string(500, 'x'));
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    const struct {
        std::string args;
        int status;
        std::string out;  // a text the output holds
        std::string err;  // a text the messages hold; "" for no message
    } rows[] = {
        {"show " + dir + "/legacy.pro", 0, "legacy.pro: legacy 428-byte file, read as the editor loads it\n  bd ", ""},
        {"show " + dir + "/missing.pro " + dir + "/base.pro", 2, "base.pro: 556-byte profile\n",
         "cannot read " + dir + "/missing.pro: No such file or directory"},
        {"show " + dir, 2, "", "it is a folder"},
        {"export " + dir + "/legacy.pro -o " + dir + "/l.json", 0, "", "legacy 428-byte file"},
        {"--quiet export " + dir + "/legacy.pro -o " + dir + "/l.json", 0, "", ""},
        {"export " + dir + "/base.pro -o " + dir + "/base.pro/x.json", 2, "",
         "cannot write " + dir + "/base.pro/x.json"},
        {"export " + dir + "/base.pro -o " + dir + "/no/x.json", 2, "", "No such file or directory"},
        {"import " + dir + "/none.json -o " + dir + "/x.pro", 2, "", "cannot read " + dir + "/none.json"},
        {"import " + dir + "/l.json", 2, "", "--output is required"},
        {"diff " + dir + "/base.pro " + dir + "/none.pro", 2, "", "cannot read " + dir + "/none.pro"},
        {"show --units imperial " + dir + "/base.pro", 2, "", "imperial not in {mixed,english,metric}"},
        {"launch", 2, "", "stowline-cli: "},
        {"show --help", 0, "--units", ""},
        {"ports --help", 0, "ports", ""},
        {"table " + dir + "/nobc.pro --json", 2, "", "nobc.pro: The ballistic coefficient (bc) is 0."},
        {"table " + dir + "/base.pro --step 0", 2, "", "The step must be above 0."},
        {"table " + dir + "/base.pro --json --csv", 2, "", "--json excludes --csv"},
        {"table " + dir + "/base.pro --latitude 45", 2, "", "--latitude requires --azimuth"},
        {"table " + dir + "/base.pro --azimuth 90", 2, "", "--azimuth requires --latitude"},
        {"table " + dir + "/base.pro --to far", 2, "", "--to = far"},
        {"table " + dir + "/none.pro", 2, "", "cannot read " + dir + "/none.pro"},
        {"table " + dir + "/base.pro --csv --to 250", 0, "range_yd,drop_in,windage_in,velocity_fps,mach,", ""},
        {"table " + dir + "/base.pro --to 2e4 --step 1000", 0, "falls below 100 ft/s", ""},
        {"table " + dir + "/base.pro --to 2e4 --step 1000 --csv", 0, "\n1000.00,", "falls below 100 ft/s"},
        {"table " + dir + "/old.pro --csv --to 300", 0, "\n300.00,", "legacy 428-byte file"},
        // Where the muzzle velocity comes from; mv edited under a velocity table.
        {"table " + dir + "/base.pro --to 100", 0, "The muzzle velocity is the profile's mv, 2600.0 ft/s,", ""},
        {"table " + dir + "/tabled.pro --to 100", 0,
         "2513.0 ft/s at 59.0 °F; the profile's mv (2600.0 ft/s) is not used", ""},
        {"table " + dir + "/tabled.pro --json", 0, "\"mv_fps\": 2513,", "the profile's mv (2600.0 ft/s) is not used"},
        {"import " + dir + "/mv.json --base " + dir + "/tabled.pro -o " + dir + "/x.pro", 0, "",
         "mv.json: mv is now 2700.0 ft/s, but the profile's velocity table (mvt_temp, mvt_mv) gives its muzzle "
         "velocity"},
        {"import " + dir + "/mv.json --base " + dir + "/base.pro -o " + dir + "/x.pro", 0, "", ""},
        {"true " + dir + "/base.pro", 2, "", "base.pro: No observation"},
        {"true " + dir + "/base.pro --observed 80:0.1mil", 2, "", "closer than 100 yd"},
        {"true " + dir + "/base.pro --observed 15000:400mil", 2, "", "does not reach the observation at 15000 yd"},
        {"true " + dir + "/base.pro --observed 800:-7mil", 2, "", "lowers the sight"},
        {"true " + dir + "/base.pro --observed 600:4.7mil --observed 600yd:5mil", 2, "", "disagree"},
        {"true " + dir + "/base.pro --observed 1200:30mil", 2, "", "drop scale factor above 1.5"},
        {"true " + dir + "/base.pro --observed 800:7.7", 2, "", "--observed 800:7.7: expected RANGE:HOLD"},
        {"true " + dir + "/base.pro --observed 600:3.26mil --observed 731.5m:21.35moa --json -o " + dir + "/t.pro", 0,
         "{\"mv_fps_before\": 2600.0, \"mv_fps_after\": 2650.0", ""},
        {"diff " + dir + "/base.pro " + dir + "/t.pro", 1, "mv: 2600.0 ft/s -> 2650.0 ft/s\n", ""},
        {"ports", 0, "", ""},
        {"send --device m600 --port " + dir + "/no-port " + dir + "/base.pro </dev/null", 2, "",
         "not sending without --yes: sending replaces every profile on the device (Send 1 profile to the device?)"},
        {"get --device m600 --port " + dir + "/no-port --to " + dir + "/got", 2, "",
         "no such port: " + dir + "/no-port"},
        {"get --device m600 --port COMX --to " + dir + "/got", 2, "", "no such port: COMX"},
        {"get --device m600 --to " + dir + "/got", 2, "", "--port PATH is needed for m600 and cv-relay"},
        {"get --device m900 --port /dev/ttyS0 --to " + dir + "/got", 2, "", "the M900 is found by its USB identity"},
        {"send --device m900 --yes " + dir + "/base.pro", 2, "",
         "stowline-cli: no M900 cable found: plug in its USB cable; if it is plugged in, install the udev rule (sudo "
         "cp "
         "udev/70-stowline.rules /etc/udev/rules.d/ && sudo udevadm control --reload, then replug the cable; the "
         "Debian "
         "package installs it)\n"},
        {"get --device m700 --port /dev/ttyS0 --to " + dir + "/got", 2, "", "--device"},
        {"get --device m600 --port /dev/ttyS0 --to " + dir + "/base.pro", 2, "", "cannot make the folder"},
        {"send --device cv-relay --port /dev/ttyS0 --yes " + dir + "/none.pro", 2, "",
         "cannot read " + dir + "/none.pro"},
        {"send --device cv-relay --port /dev/ttyS0 --yes " + dir + " " + dir + "/base.pro", 2, "",
         "a folder is sent alone"},
        {"send --help", 0, "--yes", ""},
        {"show /dev/null", 2, "", "cannot read /dev/null: it holds 0 bytes, too few for a profile (556 or 428)"},
        {"export " + dir + "/big.pro", 2, "", "big.pro: it holds 1048576 bytes, too many for a profile (556 or 428)"},
        {"diff " + dir + "/base.pro " + dir + "/odd.pro", 2, "", "odd.pro: it holds 500 bytes, too few"},
        {"table " + dir + "/odd.pro", 2, "", "odd.pro: it holds 500 bytes"},
        {"send --device m600 --port " + dir + "/no-port --yes " + dir + "/big.pro", 2, "",
         "cannot send " + dir + "/big.pro: it holds 1048576 bytes"},  // before the port is tried
        {"export " + dir + "/base.pro -o " + dir + "/fifo", 2, "", dir + "/fifo is a FIFO, not a file"},
    };
    for (const auto& row : rows) {
        const Outcome r = run(row.args);
        EXPECT_EQ(r.status, row.status) << row.args << "\n" << r.err;
        EXPECT_NE(r.out.find(row.out), std::string::npos) << row.args << "\n" << r.out;
        if (!row.err.empty()) EXPECT_NE(r.err.find(row.err), std::string::npos) << row.args << "\n" << r.err;
        else EXPECT_EQ(r.err, "") << row.args;
        EXPECT_EQ(r.err.find("plugged in..."), std::string::npos) << "the window's words: " << r.err;
    }
}

TEST_F(CliRun, DashIsStandardInputOrOutput)
{
    const std::string cli = STOWLINE_CLI, base = dir + "/base.pro";
    spill(dir + "/legacy.pro", slurp(base).substr(0, 428));
    const struct {
        std::string args;  // after the program's name; "| CLI" pipes into it again
        int status;
        std::string out, err;  // texts they hold; "" for no message
    } rows[] = {
        {"show - <" + base, 0, "standard input: 556-byte profile\n", ""},
        {"show --units metric " + base + " - <" + dir + "/legacy.pro", 0,
         "\nstandard input: legacy 428-byte file, read as the editor loads it\n", ""},
        {"export - <" + dir + "/legacy.pro", 0, "\"source\": \"legacy 428-byte file",
         "standard input: legacy 428-byte file"},
        {"export " + base + " -o -", 0, "\"name\": \"BASE\"", ""},
        {"table - --to 100 --csv <" + base, 0, "\n100.00,", ""},
        {"import - --base " + base + " -o - <" + dir + "/mv.json | " + cli + " diff - " + base, 1,
         "mv: 2700.0 ft/s -> 2600.0 ft/s\n", ""},
        {"import - -o - </dev/null", 2, "", "standard input: not valid JSON"},
        {"show - <" + dir + "/mv.json", 2, "", "cannot read standard input: it holds 14 bytes, too few for a profile"},
        {"diff - - <" + base, 2, "", "standard input can be read only once: give - for one file only"},
        {"import - --base - -o " + dir + "/x.pro <" + dir + "/mv.json", 2, "", "standard input can be read only once"},
    };
    spill(dir + "/mv.json", "{\"mv\": 2700.0}");
    for (const auto& row : rows) {
        const Outcome r = run(row.args);
        EXPECT_EQ(r.status, row.status) << row.args << "\n" << r.err;
        EXPECT_NE(r.out.find(row.out), std::string::npos) << row.args << "\n" << r.out;
        if (!row.err.empty()) EXPECT_NE(r.err.find(row.err), std::string::npos) << row.args << "\n" << r.err;
        else EXPECT_EQ(r.err, "") << row.args;
    }
    EXPECT_FALSE(exists("x.pro"));
}

TEST_F(CliRun, TableGivesTheSolversRows)
{
    // A shipped profile, its own air and range, then every condition set:
    // the JSON holds what the solver gives for them.
    const std::string file = std::string(PROFILE_SAMPLES) + "/new.pro";
    LoadedProfile p;
    std::string why;
    ASSERT_TRUE(load_profile(file, p, why)) << why;
    shot_conditions set{20.0, 25.5, 40.0, 12.0, 90.0, true, 45.0, 270.0};
    const struct {
        std::string args;
        shot_conditions c;
        double to, step;
    } rows[] = {
        {"", conditions_from_profile(p.record), 1091.0, 100.0},  // maxr
        {"--to 612.5 --step 37.5 --temperature 20 --pressure 25.5 --humidity 40 --wind 12 --wind-from 90 "
         "--latitude 45 --azimuth 270",
         set, 612.5, 37.5},
    };
    for (const auto& row : rows) {
        const solution s = solve_profile(p.record, row.c, row.to, row.step);
        ASSERT_TRUE(s.ok) << s.missing;
        const Outcome r = run("table --json " + file + " " + row.args);
        ASSERT_EQ(r.status, 0) << row.args << "\n" << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_NEAR(j.at("zero_angle_moa"), s.zero_angle_moa, 1e-6);
        EXPECT_NEAR(j.at("stability"), *s.stability, 1e-6);
        EXPECT_NEAR(j.at("mv_fps"), s.mv_fps, 1e-6);
        ASSERT_EQ(j.at("rows").size(), s.rows.size()) << row.args;
        for (size_t i = 0; i < s.rows.size(); ++i) {
            const nlohmann::json& got = j["rows"][i];
            const solution_row& want = s.rows[i];
            for (auto [name, value] : {std::pair{"range_yd", want.range_yd},
                                       {"drop_in", want.drop_in},
                                       {"windage_in", want.windage_in},
                                       {"velocity_fps", want.velocity_fps},
                                       {"mach", want.mach},
                                       {"energy_ftlbf", want.energy_ftlbf},
                                       {"time_s", want.time_s},
                                       {"elevation", want.elevation_hold},
                                       {"windage", want.windage_hold}})
                EXPECT_NEAR(got.at(name), value, 1e-6 * (1 + std::abs(value))) << row.args << " row " << i << name;
            EXPECT_EQ(got.at("elevation_unit"), "MIL");
            EXPECT_EQ(got.at("windage_unit"), "MIL");
        }
    }
    EXPECT_NE(run("table " + file + " --to 300").out.find("  zero\n"), std::string::npos);
}

}  // namespace
