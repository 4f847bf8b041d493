#include "settings/device_modes.h"

#include <cstring>

int relay_mode;
int kolvan_folder_mode;
char kolvan_folder[kKolvanFolderBytes];

void device_modes_reset()
{
    relay_mode = 0;
    kolvan_folder_mode = 0;
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
