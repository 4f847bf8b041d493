#include "settings/device_modes.h"

#include <cstring>

namespace {
int relay_value;
int kolvan_folder_value;
}  // namespace

const int& relay_mode = relay_value;
const int& kolvan_folder_mode = kolvan_folder_value;
char kolvan_folder[kKolvanFolderBytes];

void device_modes_reset()
{
    set_device_kind(false, false);
    kolvan_folder[0] = '\0';
}

bool set_kolvan_folder(const char* path)
{
    size_t n = path ? std::strlen(path) : 0;
    if (n >= sizeof kolvan_folder) return false;
    std::memcpy(kolvan_folder, path ? path : "", n);
    kolvan_folder[n] = '\0';
    return true;
}

void set_device_kind(bool relay, bool kolvan_folder)
{
    relay_value = relay ? 1 : 0;
    kolvan_folder_value = kolvan_folder ? 1 : 0;
}
