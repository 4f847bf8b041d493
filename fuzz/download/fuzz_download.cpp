// The download handler fed lines in any order, in both styles and for any
// device version, with the profile files written for real. The working
// folder is a fresh temporary bin/ with ../Device beside it, inside a folder
// of its own: after every input nothing may have appeared outside Device,
// and Device may hold only whole 556-byte records named <their name>.pro.
//
// Input (script.h): the first line is the style ('1' first: the relay
// device's indexed style, else bulk) followed by the version the bridge
// reported ("11.12": relay, 1.12; none: 1.11). Steps:
//   L<text>  the device sends <text>\r
//   C<text>  the device sends <text>\r with its checksum suffix
//   R<text>  the device sends <text> as it is
//   T<n>     the n-th live timer fires (0: every live one)
//   D        the download is started again
//   X        the device folder is removed
#include "base/numbers.h"
#include "fuzz_support.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/line_checksum.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "profile/gun_profile.h"
#include "script.h"
#include "settings/device_modes.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path base, root, bin, device, start_folder;
int device_end = -1;  // the far end of the port: what the program sends arrives here

struct timer {
    bool (*fire)();
    bool live;
};
std::vector<timer> timers;

void drain_port()
{
    char buf[4096];
    while (read(device_end, buf, sizeof buf) > 0) {}
}

void empty_folder(const fs::path& folder, const fs::path& keep)
{
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path() != keep) fs::remove_all(e.path());
}

void fire(unsigned n)
{
    const size_t live_now = timers.size();
    unsigned seen = 0;
    for (size_t i = 0; i < live_now; ++i) {
        if (!timers[i].live) continue;
        if (n != 0 && ++seen != n) continue;
        timers[i].live = false;
        timers[i].fire();
        if (n != 0) return;
    }
}

// Nothing outside the device folder, and in it only whole named records.
void check_folders()
{
    for (const auto& e : fs::directory_iterator(base))
        FUZZ_CHECK(e.path() == root, "%s appeared outside the working root", e.path().c_str());
    for (const auto& e : fs::directory_iterator(root))
        FUZZ_CHECK(e.path() == bin || e.path() == device, "%s appeared beside bin and Device", e.path().c_str());
    FUZZ_CHECK(fs::is_empty(bin), "a file appeared in the working folder");
    if (!fs::exists(device)) return;
    for (const auto& e : fs::directory_iterator(device)) {
        const std::string name = e.path().filename().string();
        FUZZ_CHECK(e.is_regular_file(), "%s in Device is not a file", name.c_str());
        FUZZ_CHECK(name.size() > 4 && name.compare(name.size() - 4, 4, ".pro") == 0, "%s is not a .pro", name.c_str());
        const std::string bytes = fuzz_read_file(e.path().string());
        FUZZ_CHECK(bytes.size() == kProfileSize, "%s holds %zu bytes", name.c_str(), bytes.size());
        GunProfile p;
        apply_profile_bytes(p, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        FUZZ_CHECK(profile_name(p) + ".pro" == name, "%s holds the profile \"%s\"", name.c_str(),
                   profile_name(p).c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    base = fuzz_temp_folder("download");
    root = base / "root";
    bin = root / "bin";
    device = root / "Device";
    fs::create_directories(bin);
    start_folder = fs::current_path();

    int sv[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0, "no socket pair");
    fcntl(sv[0], F_SETFL, O_NONBLOCK);
    fcntl(sv[1], F_SETFL, O_NONBLOCK);
    link_state_reset();
    the_link().com_handle = sv[0];
    device_end = sv[1];

    link_use(link_callbacks_default());
    the_link().calls.sleep_ms = [](unsigned) {};
    the_link().calls.line_handler = handle_download_line;
    the_link().calls.start_timer = [](unsigned, bool (*f)()) {
        timers.push_back({f, true});
        return static_cast<unsigned>(timers.size());
    };
    the_link().calls.stop_timer = [](unsigned id) {
        if (id > 0 && id <= timers.size()) timers[id - 1].live = false;
    };
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const script s = read_script(data, size);
    download_reset();
    command_channel_reset();
    timers.clear();
    drain_port();
    empty_folder(base, root);
    empty_folder(root, bin);
    empty_folder(bin, fs::path());
    fs::create_directory(device);
    // The program's working folder while the input runs; libFuzzer's own
    // paths (corpus, artifacts) stay relative to where it was started.
    fs::current_path(bin);

    set_device_kind(!s.settings.empty() && s.settings[0] == '1', kolvan_folder_mode != 0);
    double version = 1.11;
    if (s.settings.size() > 1) read_decimal(s.settings.c_str() + 1, &version);
    if (!(version > -1e6 && version < 1e6)) version = 1e6;  // a float holds it
    the_link().device_version = static_cast<float>(version);
    the_link().clear_to_send = 1;
    the_link().upload_active = 0;

    start_download();
    drain_port();
    for (const script_step& step : s.steps) {
        switch (step.op) {
        case 'L': deliver_line((step.text + "\r").c_str()); break;
        case 'C': {
            std::vector<char> line(step.text.begin(), step.text.end());
            line.push_back('\r');
            line.resize(line.size() + 4, '\0');
            append_line_checksum(line.data(), line.size());
            deliver_line(line.data());
            break;
        }
        case 'R': deliver_line(step.text.c_str()); break;
        case 'T': fire(step_number(step.text, 1000)); break;
        case 'D': start_download(); break;
        case 'X': fs::remove_all(device); break;
        default: break;
        }
        drain_port();
    }
    fs::current_path(start_folder);
    check_folders();
    return 0;
}
