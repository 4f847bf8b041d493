#include "fuzz_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string>& folders_to_remove()
{
    static std::vector<std::string> folders;
    return folders;
}

void remove_folders()
{
    std::error_code ec;
    for (const std::string& f : folders_to_remove()) fs::remove_all(f, ec);
}

}  // namespace

void fuzz_quiet_stdout()
{
    const char* trace = std::getenv("STOWLINE_FUZZ_TRACE");
    if (trace && *trace && *trace != '0') return;
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
}

std::string fuzz_temp_folder(const char* target)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/stowline-fuzz-" + target + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    FUZZ_CHECK(mkdtemp(buf.data()) != nullptr, "cannot make a folder like %s", pattern.c_str());
    if (folders_to_remove().empty()) std::atexit(remove_folders);
    folders_to_remove().emplace_back(buf.data());
    return buf.data();
}

void fuzz_write_file(const std::string& path, const void* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good(), "cannot write %s", path.c_str());
}

std::string fuzz_read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
