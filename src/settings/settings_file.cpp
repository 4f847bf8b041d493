#include "settings/settings_file.h"

#include "base/console.h"
#include "base/file_replace.h"
#include "base/utf8.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

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

namespace {

// What is wrong with the folder field of a whole file; "" when nothing.
std::string folder_problem(const char* field)
{
    if (std::memchr(field, '\0', settings_folder_size) == nullptr) return "the folder has no end within its 1024 bytes";
    if (!valid_utf8(field)) return "the folder is not UTF-8 text";
    if (field[0] == '\0') return "";
    if (field[0] != '/') return "the folder is not a full path";
    struct stat st;
    if (::stat(field, &st) == 0 && !S_ISDIR(st.st_mode)) return std::string("the folder ") + field + " is not a folder";
    return "";
}

}  // namespace

bool read_settings_checked(const char* path, int& input_units, char folder[settings_folder_size], std::string* problem)
{
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    struct stat st;
    const bool is_folder = ::fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode);
    unsigned char bytes[settings_file_size + 1] = {};
    const size_t size = is_folder ? 0 : std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);

    const int32_t units =
        static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                             (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
    std::string wrong;
    if (is_folder) {
        wrong = "it is a folder";
        input_units = 1;
        folder[0] = '\0';
    } else if (size != settings_file_size) {
        wrong = "it holds " + std::to_string(size) + (size == sizeof bytes ? " bytes or more" : " bytes") + ", not " +
                std::to_string(settings_file_size);
        input_units = size >= 4 && units >= 1 && units <= 3 ? units : 1;
        folder[0] = '\0';
    } else {
        input_units = units;
        wrong = folder_problem(reinterpret_cast<const char*>(bytes + 4));
        if (wrong.empty()) std::memcpy(folder, bytes + 4, settings_folder_size);
        else folder[0] = '\0';
    }
    if (!wrong.empty())
        console_message("%s is damaged (%s): the defaults take the place of what is damaged\n", path, wrong.c_str());
    if (problem) *problem = wrong;
    return true;
}

const char* const last_ports_path = "ports.ini";

namespace {

constexpr size_t kLastPortsMaxBytes = 64 * 1024;

std::vector<std::string> last_port_lines(const char* path)
{
    std::vector<std::string> lines;
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return lines;
    std::string text(kLastPortsMaxBytes, '\0');
    text.resize(std::fread(&text[0], 1, text.size(), f));
    std::fclose(f);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (end > at) lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

}  // namespace

std::string read_last_port(const char* path, const char* kind)
{
    const std::string key = std::string(kind) + "=";
    for (const std::string& line : last_port_lines(path))
        if (line.rfind(key, 0) == 0 && line.size() > key.size() && valid_utf8(line.c_str()))
            return line.substr(key.size());
    return "";
}

bool write_last_port(const char* path, const char* kind, const std::string& port)
{
    if (port.empty() || port.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
    const std::string key = std::string(kind) + "=";
    std::string text;
    for (const std::string& line : last_port_lines(path))
        if (line.rfind(key, 0) != 0) text += line + "\n";
    text += key + port + "\n";
    return write_file_replacing(path, text.data(), text.size());
}
