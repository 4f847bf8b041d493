// The settings file: the reader on any bytes, then a write and a read of
// what it gave, which must come back byte for byte and leave no temporary
// file beside it.
#include "fuzz_support.h"
#include "settings/settings_file.h"

#include <cstring>
#include <filesystem>

namespace {
std::string folder, path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    folder = fuzz_temp_folder("settings_file");
    path = folder + "/settings.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_write_file(path, data, size);
    int units = -7;
    char kolvan[settings_folder_size];
    std::memset(kolvan, 'x', sizeof kolvan);
    FUZZ_CHECK(read_settings_file(path.c_str(), units, kolvan), "a readable file was refused");

    unsigned char padded[settings_file_size] = {};
    std::memcpy(padded, data, size < sizeof padded ? size : sizeof padded);
    int32_t expected_units;
    std::memcpy(&expected_units, padded, 4);
    FUZZ_CHECK(units == expected_units, "unit system %d read as %d", expected_units, units);
    FUZZ_CHECK(kolvan[settings_folder_size - 1] == '\0', "folder without its NUL");
    FUZZ_CHECK(std::memcmp(kolvan, padded + 4, settings_folder_size - 1) == 0, "folder bytes changed on reading");

    std::filesystem::remove(path);
    FUZZ_CHECK(write_settings_file(path.c_str(), units, kolvan), "writing the settings failed");
    FUZZ_CHECK(std::filesystem::file_size(path) == settings_file_size, "written file is not %zu bytes",
               settings_file_size);
    int units_again = -7;
    char again[settings_folder_size];
    FUZZ_CHECK(read_settings_file(path.c_str(), units_again, again), "the written file was refused");
    FUZZ_CHECK(units_again == units, "unit system %d came back as %d", units, units_again);
    FUZZ_CHECK(std::memcmp(again, kolvan, settings_folder_size) == 0, "folder changed in a round trip");
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        (void)e;
        ++entries;
    }
    FUZZ_CHECK(entries == 1, "%zu files beside the settings after a write", entries);
    return 0;
}
