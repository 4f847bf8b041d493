#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

class SettingsFile : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("stowline-settings-" + std::to_string(getpid()));
        fs::create_directories(dir);
        path = (dir / "settings.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void write_raw(const std::vector<unsigned char>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<unsigned char> read_raw()
    {
        std::ifstream in(path, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
    std::string path;
};

TEST_F(SettingsFile, RoundTripKeepsTheLayout)
{
    char folder[settings_folder_size] = {};
    std::snprintf(folder, sizeof folder, "/home/user/Kolvan Profiles/été");
    ASSERT_TRUE(write_settings_file(path.c_str(), 2, folder));
    const auto bytes = read_raw();
    ASSERT_EQ(settings_file_size, bytes.size());
    EXPECT_EQ((std::vector<unsigned char>{2, 0, 0, 0}), std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 4, folder, sizeof folder));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(dir), fs::directory_iterator()));  // no temporary left

    int units = 0;
    char back[settings_folder_size];
    std::memset(back, 'x', sizeof back);
    ASSERT_TRUE(read_settings_file(path.c_str(), units, back));
    EXPECT_EQ(2, units);
    EXPECT_STREQ(folder, back);

    // Writing again replaces the old file.
    ASSERT_TRUE(write_settings_file(path.c_str(), -7, back));
    ASSERT_TRUE(read_settings_file(path.c_str(), units, back));
    EXPECT_EQ(-7, units);
}

TEST_F(SettingsFile, MissingAndShortFiles)
{
    int units = 1;
    char folder[settings_folder_size] = "kept";
    EXPECT_FALSE(read_settings_file(path.c_str(), units, folder));
    EXPECT_EQ(1, units);
    EXPECT_STREQ("kept", folder);

    write_raw({3, 0, 0, 0});
    ASSERT_TRUE(read_settings_file(path.c_str(), units, folder));
    EXPECT_EQ(3, units);
    EXPECT_STREQ("", folder);

    write_raw({2, 0});
    ASSERT_TRUE(read_settings_file(path.c_str(), units, folder));
    EXPECT_EQ(2, units);

    write_raw({1, 0, 0, 0, '/', 't', 'm'});
    ASSERT_TRUE(read_settings_file(path.c_str(), units, folder));
    EXPECT_STREQ("/tm", folder);

    write_raw({});
    ASSERT_TRUE(read_settings_file(path.c_str(), units, folder));
    EXPECT_EQ(0, units);
}

TEST_F(SettingsFile, DamagedFilesStayInsideTheField)
{
    std::vector<unsigned char> bytes(2000, 'a');  // no NUL anywhere, and too long
    bytes[0] = 1, bytes[1] = bytes[2] = bytes[3] = 0;
    write_raw(bytes);
    int units = 0;
    char folder[settings_folder_size + 8];
    std::memset(folder, 'z', sizeof folder);
    ASSERT_TRUE(read_settings_file(path.c_str(), units, folder));
    EXPECT_EQ(1, units);
    EXPECT_EQ(settings_folder_size - 1, std::strlen(folder));
    EXPECT_EQ('z', folder[settings_folder_size]);  // nothing past the field
}

TEST_F(SettingsFile, FailedWriteReportsAndKeepsTheOldFile)
{
    char folder[settings_folder_size] = "/old";
    ASSERT_TRUE(write_settings_file(path.c_str(), 3, folder));
    const std::string missing = (dir / "no such folder" / "settings.ini").string();
    EXPECT_FALSE(write_settings_file(missing.c_str(), 2, folder));

    // A directory in the way of the rename: the write fails, the old file stays.
    const std::string blocked = (dir / "blocked").string();
    fs::create_directories(blocked + "/inside");
    EXPECT_FALSE(write_settings_file(blocked.c_str(), 2, folder));
    for (const auto& e : fs::directory_iterator(dir))  // no temporary left beside the files
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    int units = 0;
    char back[settings_folder_size];
    ASSERT_TRUE(read_settings_file(path.c_str(), units, back));
    EXPECT_EQ(3, units);
}

// What the program takes from a damaged file: never a folder it cannot
// trust, a unit system only when it is whole and plausible, one console line.
TEST_F(SettingsFile, DamagedFilesFallBackToTheDefaults)
{
    std::ofstream(dir / "a file") << "x";
    const std::string gone = (dir / "unplugged unit").string();  // a unit not plugged in: kept
    auto whole = [](int32_t units, const std::string& folder, size_t extra = 0) {
        std::vector<unsigned char> b(settings_file_size + extra, 0);
        std::memcpy(b.data(), &units, 4);
        std::memcpy(b.data() + 4, folder.data(), std::min(folder.size(), settings_folder_size));
        return b;
    };
    struct Row {
        std::vector<unsigned char> bytes;
        int units;
        std::string folder;
        bool damaged;
    };
    const Row rows[] = {
        {whole(2, gone), 2, gone, false},
        {whole(7, ""), 7, "", false},
        {whole(2, "\xff\xfe/bad"), 2, "", true},
        {whole(2, "relative/path"), 2, "", true},
        {whole(3, (dir / "a file").string()), 3, "", true},
        {whole(2, std::string(settings_folder_size, 'a')), 2, "", true},  // no end
        {{2, 0, 0, 0}, 2, "", true},
        {{9, 0, 0, 0, '/', 't'}, 1, "", true},
        {{2, 0}, 1, "", true},
        {whole(2, "/tmp", 1), 2, "", true},
    };
    for (const Row& r : rows) {
        write_raw(r.bytes);
        int units = -1;
        char folder[settings_folder_size];
        std::string problem;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(read_settings_checked(path.c_str(), units, folder, &problem));
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(units, r.units) << r.bytes.size();
        EXPECT_EQ(std::string(folder), r.folder) << r.bytes.size();
        EXPECT_EQ(!problem.empty(), r.damaged) << problem;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), r.damaged ? 1 : 0) << out;
    }

    fs::remove(path);
    fs::create_directory(path);
    int units = -1;
    char folder[settings_folder_size] = "/old";
    std::string problem;
    ASSERT_TRUE(read_settings_checked(path.c_str(), units, folder, &problem));
    EXPECT_EQ(problem, "it is a folder");
    EXPECT_EQ(units, 1);
    EXPECT_STREQ(folder, "");
}

// The port of each serial kind, kept beside the settings file.
TEST_F(SettingsFile, LastPortOfEachKindIsKept)
{
    const std::string ports = (dir / "ports.ini").string();
    EXPECT_EQ(read_last_port(ports.c_str(), "m600"), "");
    ASSERT_TRUE(write_last_port(ports.c_str(), "m600", "/dev/ttyUSB0"));
    ASSERT_TRUE(write_last_port(ports.c_str(), "cv-relay", "/dev/ttyUSB1"));
    ASSERT_TRUE(write_last_port(ports.c_str(), "m600", "/dev/ttyACM0"));
    EXPECT_FALSE(write_last_port(ports.c_str(), "m600", "/dev/x\nm600=/dev/y"));
    EXPECT_FALSE(write_last_port(ports.c_str(), "m600", ""));
    EXPECT_EQ(read_last_port(ports.c_str(), "m600"), "/dev/ttyACM0");
    EXPECT_EQ(read_last_port(ports.c_str(), "cv-relay"), "/dev/ttyUSB1");
    EXPECT_EQ(read_last_port(ports.c_str(), "m900"), "");
}
