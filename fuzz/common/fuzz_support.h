// What the fuzz targets share: quiet trace output, a temporary folder of
// their own that goes away at exit, whole-file helpers, and a check that
// stops the run with a message (libFuzzer keeps the input that caused it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The link and profile code trace every step on standard output; a fuzz run
// would drown in it. STOWLINE_FUZZ_TRACE=1 keeps it (to read a reproducer).
void fuzz_quiet_stdout();

// A new, empty folder under $TMPDIR (or /tmp) named after `target`,
// removed with everything in it when the process exits normally.
std::string fuzz_temp_folder(const char* target);

// Writes `size` bytes at `data` to `path`, replacing it; aborts on failure.
void fuzz_write_file(const std::string& path, const void* data, size_t size);

// Every byte of the file at `path`; empty when it cannot be read.
std::string fuzz_read_file(const std::string& path);

// Two input bytes (little-endian) spread over [lo, hi].
inline double fuzz_scaled(const uint8_t* p, double lo, double hi)
{
    unsigned v = p[0] | (p[1] << 8);
    return lo + (hi - lo) * v / 65535.0;
}

#define FUZZ_CHECK(cond, ...)                                                                                          \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "fuzz check failed: %s: ", #cond);                                                    \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fputc('\n', stderr);                                                                                  \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)
