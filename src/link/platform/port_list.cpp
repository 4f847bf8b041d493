#include "link/platform/port_list.h"

#include <libserialport.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

void simulator_ports_folder(char* path, size_t size)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        std::snprintf(path, size, "%s/stowline-ports", runtime);
    else
        std::snprintf(path, size, "/tmp/stowline-ports-%u", static_cast<unsigned>(getuid()));
}

// The port list shows at most 63 characters of a name; a longer link path is
// replaced by the pseudo-terminal it points to, which opens the same port.
static bool visit_simulator_ports(serial_port_callback callback, void* user_data)
{
    char folder[512];
    simulator_ports_folder(folder, sizeof folder);
    DIR* dir = opendir(folder);
    if (dir == nullptr) return true;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string link = std::string(folder) + "/" + name;
        struct stat st;
        if (stat(link.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;  // stale link
        char target[256];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        const std::string port = link.size() <= 63 ? link : std::string(target);
        const std::string friendly = "Stowline simulator " + name + " (" + target + ")";
        const serial_port_info info{port.c_str(), friendly.c_str(), "SIMULATOR"};
        if (callback(user_data, &info) == 0) return false;
    }
    return true;
}

bool enumerate_serial_ports(serial_port_callback callback, void* user_data)
{
    if (callback == nullptr) {
        errno = EINVAL;
        return false;
    }
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) == SP_OK && ports != nullptr) {
        bool go_on = true;
        for (int i = 0; go_on && ports[i] != nullptr; ++i) {
            const char* name = sp_get_port_name(ports[i]);
            if (name == nullptr) continue;
            const char* description = sp_get_port_description(ports[i]);
            const char* enumerator = "";
            switch (sp_get_port_transport(ports[i])) {
            case SP_TRANSPORT_USB: enumerator = "USB"; break;
            case SP_TRANSPORT_BLUETOOTH: enumerator = "BLUETOOTH"; break;
            default: break;
            }
            const serial_port_info info{name, description != nullptr && description[0] ? description : name,
                                        enumerator};
            go_on = callback(user_data, &info) != 0;
        }
        sp_free_port_list(ports);
        if (!go_on) return true;
    }
    visit_simulator_ports(callback, user_data);
    return true;
}
