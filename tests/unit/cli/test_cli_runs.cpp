// stowline-cli run as a program: exit statuses, messages, files written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

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
        const int s = std::system((std::string(STOWLINE_CLI) + " " + args + " >" + dir + "/out 2>" + dir + "/err").c_str());
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
        {replaced(j, "\"sd\": 1", "\"sd\": 2147483648"), "field \"sd\": 2147483648 is outside the 32-bit integer range"},
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
    EXPECT_EQ(std::system((std::string(STOWLINE_CLI) + " import - -o " + dir + "/again.pro <" + dir + "/stdout.json").c_str()), 0);
    EXPECT_EQ(slurp(dir + "/again.pro"), slurp(dir + "/part.pro"));
}

TEST_F(CliRun, FailuresAreMessagesWithStatusTwo)
{
    spill(dir + "/legacy.pro", slurp(dir + "/base.pro").substr(0, 428));
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
        {"export " + dir + "/base.pro -o " + dir + "/base.pro/x.json", 2, "", "cannot write " + dir + "/base.pro/x.json"},
        {"export " + dir + "/base.pro -o " + dir + "/no/x.json", 2, "", "No such file or directory"},
        {"import " + dir + "/none.json -o " + dir + "/x.pro", 2, "", "cannot read " + dir + "/none.json"},
        {"import " + dir + "/l.json", 2, "", "--output is required"},
        {"diff " + dir + "/base.pro " + dir + "/none.pro", 2, "", "cannot read " + dir + "/none.pro"},
        {"show --units imperial " + dir + "/base.pro", 2, "", "imperial not in {mixed,english,metric}"},
        {"launch", 2, "", "stowline-cli: "},
        {"show --help", 0, "--units", ""},
        {"ports --help", 0, "ports", ""},
        {"ports", 0, "", ""},
    };
    for (const auto& row : rows) {
        const Outcome r = run(row.args);
        EXPECT_EQ(r.status, row.status) << row.args << "\n" << r.err;
        EXPECT_NE(r.out.find(row.out), std::string::npos) << row.args << "\n" << r.out;
        if (!row.err.empty()) EXPECT_NE(r.err.find(row.err), std::string::npos) << row.args << "\n" << r.err;
        else EXPECT_EQ(r.err, "") << row.args;
    }
}

}  // namespace
