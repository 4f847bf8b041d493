// The profile folders without a display: scanning and its filters, byte
// order, the name rules, the paths of both modes, copying and replacing
// through a temporary file, the device limit and the mirror clearing.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "collections/profile_folders.h"
#include "settings/device_modes.h"

namespace fs = std::filesystem;

namespace {

void write_file(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string read_file(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> folder_entries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A working folder bin/ beside Profiles/ and Device/, as the program runs.
class Folders : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/stowline-folders-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        root = tmpl;
        fs::create_directories(root / "bin");
        fs::create_directories(root / "Profiles");
        fs::create_directories(root / "Device");
        old_cwd = fs::current_path();
        fs::current_path(root / "bin");
        set_device_kind(false, false);
        set_kolvan_folder("");
    }
    void TearDown() override
    {
        fs::current_path(old_cwd);
        set_device_kind(false, false);
        set_kolvan_folder("");
        fs::remove_all(root);
    }
    fs::path root, old_cwd;
};

}  // namespace

TEST_F(Folders, PcScanKeepsLowerCaseExtensionOnlyDeviceScanTakesBoth)
{
    for (const char* n : {"A.pro", "B.PRO", "C.Pro", "D.pro.bak", "pro", ".pro", "E.txt"}) {
        write_file(root / "Profiles" / n, "x");
        write_file(root / "Device" / n, "x");
    }
    fs::create_directory(root / "Profiles" / "Folder.pro");  // a folder is no profile

    FolderScan pc = scan_pc_folder();
    EXPECT_TRUE(pc.opened);
    EXPECT_FALSE(pc.incomplete);
    EXPECT_EQ(pc.names, (std::vector<std::string>{".pro", "A.pro"}));

    FolderScan dev = scan_device_folder();
    EXPECT_EQ(dev.names, (std::vector<std::string>{".pro", "A.pro", "B.PRO"}));
    EXPECT_EQ(profile_row_text(".pro"), "");
    EXPECT_EQ(profile_row_text("B.PRO"), "B");
}

TEST_F(Folders, ByteOrderPutsUpperCaseFirstAndGun10BeforeGun2)
{
    for (const char* n : {"b.pro", "GUN2.pro", "a.pro", "GUN10.pro", "B.pro", "\xc3\xa9t\xc3\xa9.pro"})
        write_file(root / "Profiles" / n, "x");
    EXPECT_EQ(scan_pc_folder().names,
              (std::vector<std::string>{"B.pro", "GUN10.pro", "GUN2.pro", "a.pro", "b.pro", "\xc3\xa9t\xc3\xa9.pro"}));
}

TEST_F(Folders, MissingFoldersGiveEmptyScans)
{
    fs::remove_all(root / "Profiles");
    fs::remove_all(root / "Device");
    FolderScan pc = scan_pc_folder();
    EXPECT_FALSE(pc.opened);
    EXPECT_TRUE(pc.names.empty());
    EXPECT_FALSE(pc.incomplete);
    EXPECT_TRUE(scan_device_folder().names.empty());
}

TEST_F(Folders, SurplusAndUnshowableNamesAreLeftOutAndFlagged)
{
    for (int i = 0; i < kDeviceScanCapacity + 5; ++i)
        write_file(root / "Device" / ("G" + std::to_string(i) + ".pro"), "x");
    FolderScan dev = scan_device_folder();
    EXPECT_EQ(dev.names.size(), size_t(kDeviceScanCapacity));
    EXPECT_TRUE(dev.incomplete);

    // 127 bytes with the extension still fit the row buffer; 128 do not.
    std::string fits(123, 'L'), too_long(124, 'M');
    write_file(root / "Profiles" / (fits + ".pro"), "x");
    write_file(root / "Profiles" / (too_long + ".pro"), "x");
    FolderScan pc = scan_pc_folder();
    EXPECT_EQ(pc.names, std::vector<std::string>{fits + ".pro"});
    EXPECT_TRUE(pc.incomplete);

    fs::remove(root / "Profiles" / (too_long + ".pro"));
    write_file(root / "Profiles" / "bad\xff.pro", "x");
    write_file(root / "Profiles" / "half\xc3.pro", "x");
    pc = scan_pc_folder();
    EXPECT_EQ(pc.names, std::vector<std::string>{fits + ".pro"});
    EXPECT_TRUE(pc.incomplete);
}

// The files a list leaves out are named with their reason, for the status
// bar (two, then a count) and the trace (every one).
TEST_F(Folders, LeftOutFilesAreNamedWithTheirReason)
{
    const std::string too_long(130, 'L');
    for (const char* n : {"OK.pro", "X.pro", "X.PRO", "bad\xff.pro"}) write_file(root / "Profiles" / n, "x");
    write_file(root / "Profiles" / (too_long + ".pro"), "x");
    fs::create_symlink(root / "gone.pro", root / "Profiles" / "dangling.pro");
    for (const char* n : {"Y.pro", "Y.PRO", "Z.PRO"}) write_file(root / "Device" / n, "x");

    FolderScan pc = scan_pc_folder();
    EXPECT_EQ(pc.names, (std::vector<std::string>{"OK.pro", "X.pro"}));
    const std::pair<std::string, std::string> expected[] = {
        {too_long + ".pro", "name too long"},
        {"X.PRO", "a case twin of X.pro"},
        {"bad\xff.pro", "name not UTF-8"},
        {"dangling.pro", "a link to nothing"},
    };
    ASSERT_EQ(pc.left_out.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(pc.left_out[i].name, expected[i].first);
        EXPECT_EQ(pc.left_out[i].why, expected[i].second);
    }
    EXPECT_TRUE(pc.incomplete);
    EXPECT_EQ(left_out_summary(pc),
              std::string(40, 'L') + "... (name too long), X.PRO (a case twin of X.pro) and 2 more");
    EXPECT_NE(left_out_lines(pc).find("Left out of the list: bad\\xFF.pro: name not UTF-8\n"), std::string::npos);

    FolderScan dev = scan_device_folder();
    EXPECT_EQ(dev.names, (std::vector<std::string>{"Y.pro", "Z.PRO"}));
    EXPECT_EQ(left_out_summary(dev), "Y.PRO (a case twin of Y.pro)");
    // The upload's own scan still takes both.
    EXPECT_EQ(scan_profile_folder((root / "Device").string(), true, 50).names.size(), 3u);

    FolderScan full;
    full.left_out = {{"A.pro", "a link to nothing"}, {"B.pro", "name too long"}};
    EXPECT_EQ(left_out_summary(full), "A.pro (a link to nothing) and B.pro (name too long)");
    full.left_out.clear();
    full.names = {"P.pro"};
    full.beyond_capacity = 3;
    EXPECT_EQ(left_out_summary(full), "3 beyond the first 1");
    EXPECT_EQ(shown_file_name("tab\there\xc3", 40), "tab?here\\xC3");
}

TEST_F(Folders, PcScanHoldsItsFullTable)
{
    fs::path dir = root / "Profiles";
    for (int i = 0; i < kPcScanCapacity + 3; ++i) write_file(dir / ("P" + std::to_string(i) + ".pro"), "");
    FolderScan pc = scan_pc_folder();
    EXPECT_EQ(pc.names.size(), size_t(kPcScanCapacity));
    EXPECT_TRUE(pc.incomplete);
    EXPECT_TRUE(std::is_sorted(pc.names.begin(), pc.names.end(), compare_names));
}

TEST_F(Folders, PathsInBothModes)
{
    EXPECT_EQ(pc_profile_path("GUN 1"), "../Profiles/GUN 1.pro");
    EXPECT_EQ(pc_profile_path(""), "../Profiles/.pro");
    EXPECT_EQ(device_profile_path("GUN 1"), "../Device/GUN 1.pro");
    EXPECT_TRUE(device_folder_is_set());

    set_device_kind(relay_mode != 0, true);
    EXPECT_FALSE(device_folder_is_set());
    ASSERT_TRUE(set_kolvan_folder("/media/unit/Profiles"));
    EXPECT_TRUE(device_folder_is_set());
    EXPECT_EQ(device_profile_path("GUN 1"), "/media/unit/Profiles/GUN 1.pro");
    ASSERT_TRUE(set_kolvan_folder("/media/unit/Profiles/"));
    EXPECT_EQ(device_profile_path("X"), "/media/unit/Profiles/X.pro");
    EXPECT_EQ(pc_profile_path("X"), "../Profiles/X.pro");
}

TEST_F(Folders, FolderModeScansTheChosenFolderAndNothingWhileUnset)
{
    write_file(root / "Device" / "MIRROR.pro", "x");
    fs::create_directories(root / "unit");
    write_file(root / "unit" / "WRIST.PRO", "x");
    set_device_kind(relay_mode != 0, true);
    EXPECT_TRUE(scan_device_folder().names.empty());
    ASSERT_TRUE(set_kolvan_folder((root / "unit").c_str()));
    EXPECT_EQ(scan_device_folder().names, std::vector<std::string>{"WRIST.PRO"});
}

TEST_F(Folders, NamesThatCouldLeaveTheirFolderAreRefused)
{
    for (const char* ok : {"", "GUN 1", "new gun", "6.5 CM", "a.b", "\xc3\xa9t\xc3\xa9", "100%"})
        EXPECT_TRUE(profile_name_is_safe(ok)) << ok;
    for (const char* bad : {"a/b", "/etc", "..", "../x", "x..", "a\\b", "tab\there", "nl\n", "del\x7f"})
        EXPECT_FALSE(profile_name_is_safe(bad)) << bad;
    EXPECT_FALSE(profile_name_is_safe(nullptr));
    const std::pair<const char*, const char*> reasons[] = {
        {"../x", "a profile name cannot contain /"},
        {"a\\b", "a profile name cannot contain \\"},
        {"x..", "a profile name cannot contain .."},
        {"nl\n", "a profile name cannot contain a control character (a tab, a line end)"},
        {"GUN 1", ""},
    };
    for (const auto& [name, why] : reasons) EXPECT_EQ(profile_name_problem(name), why) << name;
}

TEST_F(Folders, DeviceLimitIs30Or34WithTheRelay)
{
    EXPECT_EQ(device_profile_limit(), 30);
    EXPECT_TRUE(device_has_room(29));
    EXPECT_FALSE(device_has_room(30));
    set_device_kind(true, kolvan_folder_mode != 0);
    EXPECT_EQ(device_profile_limit(), 34);
    EXPECT_TRUE(device_has_room(33));
    EXPECT_FALSE(device_has_room(34));
}

TEST_F(Folders, CopyFailsIfTheTargetExistsAndReplaceSwapsItWhole)
{
    fs::path from = root / "Profiles" / "A.pro", to = root / "Device" / "A.pro";
    std::string bytes(556, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
    write_file(from, bytes);

    ASSERT_TRUE(copy_profile_file(from, to, CopyMode::fail_if_exists));
    EXPECT_EQ(read_file(to), bytes);

    write_file(from, "changed");
    EXPECT_FALSE(copy_profile_file(from, to, CopyMode::fail_if_exists));
    EXPECT_EQ(read_file(to), bytes);
    EXPECT_TRUE(copy_profile_file(from, to, CopyMode::replace));
    EXPECT_EQ(read_file(to), "changed");
    EXPECT_EQ(folder_entries(root / "Device"), std::vector<std::string>{"A.pro"});
}

TEST_F(Folders, FailedCopyLeavesNeitherPartialFileNorDamage)
{
    fs::path to = root / "Device" / "A.pro";
    EXPECT_FALSE(copy_profile_file(root / "Profiles" / "missing.pro", to, CopyMode::replace));
    EXPECT_FALSE(fs::exists(to));

    // A source that opens but fails on reading: the old target survives.
    write_file(to, "old");
    EXPECT_FALSE(copy_profile_file("/proc/self/mem", to, CopyMode::replace));
    EXPECT_EQ(read_file(to), "old");
    EXPECT_EQ(folder_entries(root / "Device"), std::vector<std::string>{"A.pro"});

    // A target folder that does not exist.
    write_file(root / "Profiles" / "B.pro", "b");
    EXPECT_FALSE(copy_profile_file(root / "Profiles" / "B.pro", root / "nowhere" / "B.pro", CopyMode::replace));
    EXPECT_FALSE(copy_profile_file(root / "Profiles", root / "Device" / "C.pro", CopyMode::replace));
    EXPECT_FALSE(fs::exists(root / "Device" / "C.pro"));
}

TEST_F(Folders, DeleteAndEnsureFolder)
{
    write_file(root / "Profiles" / "A.pro", "x");
    EXPECT_TRUE(delete_profile_file(pc_profile_path("A")));
    EXPECT_FALSE(delete_profile_file(pc_profile_path("A")));
    fs::remove_all(root / "Profiles");
    EXPECT_TRUE(ensure_folder(kPcProfileFolder));
    EXPECT_TRUE(fs::is_directory(root / "Profiles"));
}

TEST_F(Folders, ClearingTheMirrorDeletesItsProfilesButNotInFolderMode)
{
    for (const char* n : {"A.pro", "B.PRO", "keep.txt"}) write_file(root / "Device" / n, "x");
    set_device_kind(relay_mode != 0, true);
    EXPECT_EQ(delete_device_mirror_files(), 0);
    EXPECT_EQ(folder_entries(root / "Device").size(), 3u);

    set_device_kind(relay_mode != 0, false);
    testing::internal::CaptureStdout();
    EXPECT_EQ(delete_device_mirror_files(), 2);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Deleting... ../Device/A.pro\n"), std::string::npos) << out;
    EXPECT_EQ(folder_entries(root / "Device"), std::vector<std::string>{"keep.txt"});
    EXPECT_TRUE(scan_device_folder().names.empty());
}

TEST_F(Folders, ListsShowRegularFilesOnly)
{
    const fs::path pc = root / "Profiles";
    write_file(pc / "FILE.pro", "x");
    fs::create_directories(pc / "DIR.pro");
    fs::create_symlink(pc / "FILE.pro", pc / "TOFILE.pro");
    fs::create_symlink(pc / "DIR.pro", pc / "TODIR.pro");
    fs::create_symlink(pc / "missing", pc / "DANGLING.pro");
    ASSERT_EQ(mkfifo((pc / "FIFO.pro").c_str(), 0644), 0);
    EXPECT_EQ(scan_pc_folder().names, (std::vector<std::string>{"FILE.pro", "TOFILE.pro"}));
}

// Copy to Device / Copy to PC move whole profiles only, and every failure
// carries the system's reason (EEXIST is the overwrite question).
TEST_F(Folders, ProfileCopiesTakeWholeProfilesAndSayWhyNot)
{
    const fs::path pc = root / "Profiles", dev = root / "Device";
    struct Row {
        std::string source;  // bytes, or "<dir>" / "<fifo>" / "<none>"
        bool copied;
        int error;
        bool not_a_profile;
    };
    const Row rows[] = {
        {std::string(556, 'a'), true, 0, false},
        {std::string(428, 'b'), true, 0, false},
        {std::string(0, 'c'), false, 0, true},
        {std::string(555, 'd'), false, 0, true},
        {std::string(557, 'e'), false, 0, true},
        {"<dir>", false, EISDIR, false},
        {"<fifo>", false, 0, true},
        {"<none>", false, ENOENT, false},
    };
    for (const Row& r : rows) {
        fs::remove_all(pc / "S.pro");
        fs::remove_all(dev / "S.pro");
        if (r.source == "<dir>") fs::create_directories(pc / "S.pro");
        else if (r.source == "<fifo>") ASSERT_EQ(mkfifo((pc / "S.pro").c_str(), 0644), 0);
        else if (r.source != "<none>") write_file(pc / "S.pro", r.source);
        FileFailure why;
        EXPECT_EQ(copy_profile_file(pc / "S.pro", dev / "S.pro", CopyMode::fail_if_exists, &why, true), r.copied)
            << r.source.size();
        EXPECT_EQ(why.error, r.error) << r.source.size();
        EXPECT_EQ(why.not_a_profile, r.not_a_profile) << r.source.size();
        if (r.not_a_profile && r.source[0] != '<') EXPECT_EQ(why.size, r.source.size());
        EXPECT_EQ(fs::exists(dev / "S.pro"), r.copied);
    }
    FileFailure why;
    write_file(pc / "S.pro", std::string(556, 'a'));
    write_file(dev / "S.pro", std::string(556, 'z'));
    EXPECT_FALSE(copy_profile_file(pc / "S.pro", dev / "S.pro", CopyMode::fail_if_exists, &why, true));
    EXPECT_EQ(why.error, EEXIST);
    EXPECT_FALSE(copy_profile_file(pc / "S.pro", root / "gone" / "S.pro", CopyMode::replace, &why, true));
    EXPECT_EQ(why.error, ENOENT);
    EXPECT_FALSE(delete_profile_file((pc / "NONE.pro").string(), &why));
    EXPECT_EQ(why.error, ENOENT);
}

TEST_F(Folders, TheWristUnitsFolderGoneIsToldApart)
{
    EXPECT_EQ(device_folder_error(), 0);  // the mirror folder
    set_device_kind(relay_mode != 0, true);
    const fs::path unit = root / "unit";
    set_kolvan_folder(unit.c_str());
    EXPECT_EQ(device_folder_error(), ENOENT);
    write_file(unit, "a file, not a folder");
    EXPECT_EQ(device_folder_error(), ENOTDIR);
    fs::remove(unit);
    fs::create_directories(unit);
    EXPECT_EQ(device_folder_error(), 0);
}
