// The working-folder choice without a display: which folder each start uses,
// and laying out the per-user folder without touching what the user already
// has there.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "shell/working_folder.h"

namespace fs = std::filesystem;

namespace {

const char* const kProbes[] = {"cvm_icon_16x16.png", "d_velmora.png", "d_m900.png", "d_m600.png", "d_cv_relay.png"};

void write_file(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string read_file(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put_pictures(const fs::path& folder)
{
    for (const char* name : kProbes) write_file(folder / name, std::string("picture ") + name);
    write_file(folder / "gun.png", "picture gun.png");
}

class WorkingFolder : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/stowline-wf-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        root = tmpl;
        data = root / "usr" / "share" / "stowline";
        put_pictures(data);
        fs::create_directories(root / "elsewhere");
    }
    void TearDown() override { fs::remove_all(root); }

    working_folder_plan user_plan() { return plan_working_folder({"", (root / "home").string()}, root / "elsewhere", data); }

    fs::path root, data;
};

}  // namespace

TEST_F(WorkingFolder, ChoosesTheFolderFromTheEnvironmentAndWhatIsOnDisk)
{
    const fs::path prepared = root / "run" / "bin";
    put_pictures(prepared);
    const fs::path partly = root / "partly";
    write_file(partly / "cvm_icon_16x16.png", "only the icon");
    const std::string home = (root / "home").string(), xdg = (root / "xdg").string();
    const fs::path home_bin = root / "home" / ".local" / "share" / "stowline" / "bin";
    struct Case {
        const char* what;
        working_folder_env env;
        fs::path cwd, pictures;
        working_folder_action action;
        fs::path bin;
    } cases[] = {
        {"prepared folder, whatever else", {"", ""}, prepared, {}, working_folder_action::stay, {}},
        {"XDG_DATA_HOME first", {xdg, home}, root / "elsewhere", data, working_folder_action::user_folder,
         root / "xdg" / "stowline" / "bin"},
        {"HOME when XDG_DATA_HOME is unset", {"", home}, root / "elsewhere", data, working_folder_action::user_folder,
         home_bin},
        {"a relative XDG_DATA_HOME is ignored", {"rel/data", home}, root / "elsewhere", data,
         working_folder_action::user_folder, home_bin},
        {"a folder with only some pictures is not prepared", {"", home}, partly, data,
         working_folder_action::user_folder, home_bin},
        {"no usable home", {"rel", "rel"}, root / "elsewhere", data, working_folder_action::stay_warn, {}},
        {"no pictures anywhere", {"", home}, root / "elsewhere", {}, working_folder_action::stay_warn, home_bin},
        {"unknown current folder", {"", home}, {}, data, working_folder_action::user_folder, home_bin},
    };
    for (const Case& c : cases) {
        const working_folder_plan plan = plan_working_folder(c.env, c.cwd, c.pictures);
        EXPECT_EQ(plan.action, c.action) << c.what;
        EXPECT_EQ(plan.bin, c.bin) << c.what;
        EXPECT_EQ(plan.problem.empty(), c.action != working_folder_action::stay_warn) << c.what;
    }
    // Copies left in the per-user folder serve when the installation is gone.
    put_pictures(home_bin);
    const working_folder_plan plan = plan_working_folder({"", home}, root / "elsewhere", {});
    EXPECT_EQ(plan.action, working_folder_action::user_folder);
    EXPECT_TRUE(plan.pictures.empty());
}

TEST_F(WorkingFolder, LaysOutANewFolderWithLinksToTheInstalledPictures)
{
    const working_folder_plan plan = user_plan();
    std::string error;
    ASSERT_TRUE(lay_out_working_folder(plan, &error)) << error;
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_TRUE(fs::is_directory(plan.bin.parent_path() / "Profiles"));
    EXPECT_TRUE(fs::is_directory(plan.bin.parent_path() / "Device"));
    EXPECT_TRUE(holds_pictures(plan.bin));
    EXPECT_TRUE(fs::is_symlink(plan.bin / "gun.png"));
    EXPECT_EQ(read_file(plan.bin / "gun.png"), "picture gun.png");
    EXPECT_FALSE(fs::exists(plan.bin / "settings.ini"));  // the program writes it when it has something to keep
}

TEST_F(WorkingFolder, KeepsWhatTheUserHasAndRefreshesOnlyDeadLinks)
{
    const working_folder_plan plan = user_plan();
    const fs::path top = plan.bin.parent_path();
    write_file(plan.bin / "settings.ini", std::string("\x02\0\0\0/media/unit", 15));
    write_file(top / "Profiles" / "OLD GUN.pro", std::string(556, 'p'));
    write_file(top / "Device" / "ON DEVICE.pro", std::string(556, 'd'));
    write_file(plan.bin / "gun.png", "the user's own picture");
    fs::create_symlink(root / "gone" / "d_m600.png", plan.bin / "d_m600.png");
    fs::create_symlink(root / "elsewhere" / "keep.png", plan.bin / "d_m900.png");
    write_file(root / "elsewhere" / "keep.png", "a link the user made");

    for (int start = 0; start < 2; ++start) {
        std::string error;
        ASSERT_TRUE(lay_out_working_folder(plan, &error)) << error;
        EXPECT_EQ(read_file(plan.bin / "settings.ini"), std::string("\x02\0\0\0/media/unit", 15));
        EXPECT_EQ(read_file(top / "Profiles" / "OLD GUN.pro"), std::string(556, 'p'));
        EXPECT_EQ(read_file(top / "Device" / "ON DEVICE.pro"), std::string(556, 'd'));
        EXPECT_EQ(read_file(plan.bin / "gun.png"), "the user's own picture");
        EXPECT_EQ(read_file(plan.bin / "d_m600.png"), "picture d_m600.png");
        EXPECT_EQ(read_file(plan.bin / "d_m900.png"), "a link the user made");
    }
    EXPECT_FALSE(fs::exists(plan.bin / ".d_m600.png.new"));
}

TEST_F(WorkingFolder, AFileInTheWayOfAFolderIsReportedAndLeftAlone)
{
    const working_folder_plan plan = user_plan();
    write_file(plan.bin.parent_path() / "Profiles", "not a folder");
    std::string error;
    EXPECT_FALSE(lay_out_working_folder(plan, &error));
    EXPECT_NE(error.find("Profiles"), std::string::npos) << error;
    EXPECT_EQ(read_file(plan.bin.parent_path() / "Profiles"), "not a folder");
}

// One program per working folder: a second lock fails while the first is
// held, and the kernel frees it when its holder ends, even by SIGKILL.
TEST(WorkingFolderLock, OneHolderAndNothingStaleAfterAKill)
{
    char tmpl[] = "/tmp/stowline-lock-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::string lock = std::string(tmpl) + "/stowline.lock";
    int first = -1, second = -1;
    ASSERT_EQ(lock_working_folder(lock.c_str(), &first), folder_lock::taken);
    EXPECT_EQ(lock_working_folder(lock.c_str(), &second), folder_lock::held_by_another);
    EXPECT_EQ(second, -1);
    ::close(first);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        int fd = -1;
        char ok = lock_working_folder(lock.c_str(), &fd) == folder_lock::taken ? 'y' : 'n';
        if (::write(ready[1], &ok, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_EQ(lock_working_folder(lock.c_str(), &second), folder_lock::held_by_another);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(lock_working_folder(lock.c_str(), &second), folder_lock::taken);
    ::close(second);
    fs::remove_all(tmpl);
}
