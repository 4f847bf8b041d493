#include "sim_rig.h"
#include "sim_tool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(SimTool, CommandLines)
{
    const struct {
        const char* line;
        const char* error;  // empty: accepted
        sim_kind kind;
        const char* profiles;
        bool paced;
        int faults, silent_after;
    } cases[] = {
        {"--m600", "", sim_kind::m600, "", true, 0, -1},
        {"--cv-relay --profiles /tmp/p --unpaced", "", sim_kind::cv_relay, "/tmp/p", false, 0, -1},
        {"--m600 --lose :AS@2 --bad-checksum :AP --garbage :AN@3 --silent-after 5", "", sim_kind::m600, "", true, 3,
         5},
        {"", "choose one device", sim_kind::m600, "", true, 0, -1},
        {"--m600 --cv-relay", "choose one device", sim_kind::m600, "", true, 0, -1},
        {"--m600 --lose AP", "LINE[@N]", sim_kind::m600, "", true, 0, -1},
        {"--m600 --lose :AP@0", "LINE[@N]", sim_kind::m600, "", true, 0, -1},
        {"--m600 --silent-after x", "takes a number", sim_kind::m600, "", true, 0, -1},
        {"--m600 --profiles", "needs a value", sim_kind::m600, "", true, 0, -1},
        {"--m600 -x", "unknown option -x", sim_kind::m600, "", true, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<std::string> words{"stowline-sim"};
        std::istringstream in(c.line);
        for (std::string w; in >> w;) words.push_back(w);
        std::vector<const char*> argv;
        for (const std::string& w : words) argv.push_back(w.c_str());
        sim_options o;
        std::string error;
        EXPECT_EQ(*c.error == '\0', sim_parse_options(static_cast<int>(argv.size()), argv.data(), &o, &error));
        if (*c.error) {
            EXPECT_NE(std::string::npos, error.find(c.error)) << error;
            continue;
        }
        EXPECT_EQ(c.kind, o.kind);
        EXPECT_EQ(c.profiles, o.profiles);
        EXPECT_EQ(c.paced, o.paced);
        EXPECT_EQ(static_cast<size_t>(c.faults), o.faults.size());
        EXPECT_EQ(c.silent_after, o.silent_after);
    }
    sim_options o;
    std::string error;
    const char* argv[] = {"stowline-sim", "--m600", "--lose", ":AS@2"};
    ASSERT_TRUE(sim_parse_options(4, argv, &o, &error));
    EXPECT_EQ(sim_fault::lose, o.faults[0].what);
    EXPECT_EQ(":AS", o.faults[0].prefix);
    EXPECT_EQ(2, o.faults[0].nth);
}

TEST(SimTool, ServesAFolderAndWritesWhatAnUploadStoresThere)
{
    const fs::path base = fs::temp_directory_path() / ("stowline-sim-" + std::to_string(getpid()));
    const fs::path dir = base / "meter";
    fs::create_directories(dir);
    auto put = [&](const std::string& file, const char* name) {
        ASSERT_TRUE(write_profile_bytes((dir / file).string(), test_gun(name)));
    };
    put("B.pro", "BRAVO");
    put("A.pro", "ALPHA");
    put("a.pro", "lower");
    put("_noname.pro", "");
    put("x.PRO", "UPPER");  // not a profile file of the device folder
    for (int i = 0; i < 28; ++i) put("g" + std::to_string(10 + i) + ".pro", ("G" + std::to_string(i)).c_str());
    std::ofstream(dir / "_old.pro", std::ios::binary) << std::string(kLegacyProfileSize, '\0');

    sim_rig r(sim_kind::m600);
    std::vector<std::string> skipped;
    ASSERT_TRUE(sim_load_folder(r.meter(), dir.string(), &skipped));
    ASSERT_EQ(30u, r.meter().profiles.size());
    const char* first[] = {"ALPHA", "BRAVO", "lower", "G0"};
    for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(first[slot - 1], profile_name(r.meter().profiles[slot].record));
    EXPECT_EQ((std::vector<std::string>{"_noname.pro: the profile has no name",
                                        "_old.pro: an old, short profile file: open it in Stowline and save it first",
                                        "g37.pro: the device holds 30 profiles"}),
              skipped);
    EXPECT_FALSE(sim_load_folder(r.meter(), (dir / "missing").string(), &skipped));

    // An upload: each profile it stores becomes a file, unless its name could
    // not be one.
    std::vector<std::string> reports;
    sim_keep_in_folder(r.meter(), dir.string(), [&](const std::string& text) { reports.push_back(text); });
    const size_t files_before = std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    std::vector<profile_line_set> sets;
    for (const char* name : {"NEW", "../evil", "sub/x", ""}) sets.push_back(lines_now(test_gun(name)));
    r.upload(sets);
    r.run_until([&] { return r.meter().profiles.size() == 4; });
    ASSERT_EQ(4u, r.meter().profiles.size());  // the upload replaced what the meter held
    EXPECT_EQ((std::vector<std::string>{"wrote " + (dir / "NEW.pro").string(),
                                        "not written: ../evil (its name could leave the folder)",
                                        "not written: sub/x (its name could leave the folder)",
                                        "not written:  (the profile has no name)"}),
              reports);
    GunProfile written{};
    ASSERT_TRUE(read_profile_file((dir / "NEW.pro").string(), written));
    EXPECT_EQ(0, std::memcmp(&written, &r.meter().profiles[1].record, sizeof written));
    // Nothing deleted, nothing outside the folder.
    EXPECT_EQ(files_before + 1, static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator())));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(base), fs::directory_iterator()));
    fs::remove_all(base);
}
