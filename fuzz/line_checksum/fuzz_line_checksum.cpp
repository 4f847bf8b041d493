// The line checksum: the check on any text, and appending one to any line in
// a buffer of any size (exactly that size, so an overrun is seen), after
// which the check passes.
#include "fuzz_support.h"
#include "link/line_checksum.h"

#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // The first byte is the room left after the text (0..255).
    const size_t spare = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    line_checksum_bad(text.c_str());

    const size_t buffer_size = text.size() + spare;
    if (buffer_size == 0) return 0;
    std::unique_ptr<char[]> line(new char[buffer_size]);
    std::memcpy(line.get(), text.data(), text.size() < buffer_size ? text.size() : buffer_size);
    if (text.size() < buffer_size) line[text.size()] = '\0';
    const std::string before(line.get(), buffer_size);
    const size_t n = strnlen(line.get(), buffer_size);

    if (!append_line_checksum(line.get(), buffer_size)) {
        FUZZ_CHECK(std::string(line.get(), buffer_size) == before, "a refused line was changed");
        FUZZ_CHECK(n == 0 || n == buffer_size || line[n - 1] != '\r' || n + 4 > buffer_size,
                   "a line of %zu characters ending in CR with room for the suffix was refused", n);
        return 0;
    }
    const std::string after(line.get());
    FUZZ_CHECK(after.size() == n + 3, "suffix of %zu characters", after.size() - n);
    FUZZ_CHECK(after.compare(0, n - 1, before, 0, n - 1) == 0, "the text before the suffix changed");
    FUZZ_CHECK(after[n - 1] == ' ' && after.back() == '\r', "suffix not \" XX\\r\"");
    // The check wants a text byte before the suffix; a bare CR gets a suffix
    // it then refuses.
    if (n >= 2) FUZZ_CHECK(line_checksum_bad(after.c_str()) == 0, "an appended checksum does not check");
    return 0;
}
