#include "settings/settings_file.h"

#include "base/file_replace.h"

#include <cstdio>
#include <cstring>
#include <string>

static void put_le32(unsigned char* p, int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    p[0] = static_cast<unsigned char>(u);
    p[1] = static_cast<unsigned char>(u >> 8);
    p[2] = static_cast<unsigned char>(u >> 16);
    p[3] = static_cast<unsigned char>(u >> 24);
}

bool read_settings_file(const char* path, int& input_units, char folder[settings_folder_size])
{
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    unsigned char staging[settings_file_size] = {};
    const size_t got = std::fread(staging, 1, sizeof staging, f);
    (void)got;  // missing bytes stay zero
    std::fclose(f);
    input_units =
        static_cast<int32_t>(static_cast<uint32_t>(staging[0]) | (static_cast<uint32_t>(staging[1]) << 8) |
                             (static_cast<uint32_t>(staging[2]) << 16) | (static_cast<uint32_t>(staging[3]) << 24));
    std::memcpy(folder, staging + 4, settings_folder_size);
    folder[settings_folder_size - 1] = '\0';
    return true;
}

bool write_settings_file(const char* path, int input_units, const char folder[settings_folder_size])
{
    unsigned char bytes[settings_file_size] = {};
    put_le32(bytes, input_units);
    std::memcpy(bytes + 4, folder, settings_folder_size);
    return write_file_replacing(path, bytes, sizeof bytes);
}
