// stowline-cli's show and export over a folder of profiles, against a bare
// read of the same files (open, read 556 bytes, close, in the same order);
// the three take turns in every round, in a rotating order, and the medians
// are printed with their ratio to the bare read.
//   bench_cli [RUNS] [--profiles N]   (default 21 runs, 8192 profiles)
// `show` is one call over every file, as `stowline-cli show DIR/*.pro`;
// `export` is the subcommand's work for each file in turn, to standard
// output (here /dev/null), without a process start per file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/commands.h"
#include "cli/profile_fields.h"

namespace fs = std::filesystem;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// The floor: every file opened, its record read, closed.
size_t bare_read(const std::vector<std::string>& paths)
{
    size_t total = 0;
    unsigned char buf[kProfileSize];
    for (const std::string& p : paths) {
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) total += static_cast<size_t>(n) + buf[0];
        ::close(fd);
    }
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 21;
    int profiles = 8192;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--profiles") == 0 && i + 1 < argc) profiles = std::atoi(argv[++i]);
        else runs = std::atoi(argv[i]);
    }
    if (runs < 1 || profiles < 1) {
        std::fprintf(stderr, "usage: bench_cli [RUNS] [--profiles N]\n");
        return 2;
    }

    char tmpl[] = "/tmp/stowline-cli-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string folder = tmpl;
    std::vector<std::string> paths;
    for (int i = 0; i < profiles; ++i) {
        GunProfile p = fresh_profile();
        char name[16];
        std::snprintf(name, sizeof name, "GUN%04d", i);
        set_profile_name(p, name);
        paths.push_back(folder + "/" + name + ".pro");
        std::FILE* f = std::fopen(paths.back().c_str(), "wb");
        if (!f || std::fwrite(&p, sizeof p, 1, f) != 1 || std::fclose(f) != 0) return 1;
    }
    std::sort(paths.begin(), paths.end());  // as a shell's glob gives them

    CliStreams io;
    io.out = std::fopen("/dev/null", "w");
    buffer_output(io.out);  // as the tool does when its output is not a terminal
    io.quiet = true;
    size_t sink = 0;
    const std::vector<std::pair<const char*, std::function<void()>>> kinds = {
        {"bare read", [&] { sink += bare_read(paths); }},
        {"show", [&] { sink += static_cast<size_t>(run_show(paths, 0, io)); }},
        {"export", [&] {
             for (const std::string& p : paths) sink += static_cast<size_t>(run_export(p, "", io));
         }},
    };
    std::vector<std::vector<double>> ms(kinds.size());
    for (size_t k = 0; k < kinds.size(); ++k) kinds[k].second();  // warm the page cache and the code
    for (int r = 0; r < runs; ++r) {
        for (size_t j = 0; j < kinds.size(); ++j) {
            const size_t k = (j + static_cast<size_t>(r)) % kinds.size();
            const auto t0 = std::chrono::steady_clock::now();
            kinds[k].second();
            std::fflush(io.out);
            const auto t1 = std::chrono::steady_clock::now();
            ms[k].push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
    }

    std::printf("%d profiles, median of %d interleaved runs (sink %zu)\n", profiles, runs, sink % 10);
    const double floor = median(ms[0]);
    for (size_t k = 0; k < kinds.size(); ++k) {
        const double m = median(ms[k]);
        std::printf("  %-10s %9.2f ms  %7.2f us/profile  %5.2fx the bare read\n", kinds[k].first, m,
                    1000.0 * m / profiles, m / floor);
    }
    std::fclose(io.out);
    fs::remove_all(folder);
    return 0;
}
