// The COM line assembly of the receive poll: the input is written in chunks
// into a pipe that stands as the open port, with polls between them. The
// lines delivered must be exactly the lines of the stream: NULs left out,
// each ending in CR or LF, at most 1023 characters (a longer one is dropped
// up to its end), none invented, none lost.
//
// Input: one byte that seeds the chunk sizes and poll counts, then the bytes
// the device sends.
#include "fuzz_support.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/link_state.h"
#include "link/link_test_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

int pipe_in = -1, pipe_out = -1;
std::vector<std::string> delivered;

constexpr size_t kLongestLine = 1023;

// The lines the stream holds, as the assembly is meant to give them.
std::vector<std::string> expected_lines(const uint8_t* bytes, size_t n)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < n; ++i) {
        if (bytes[i] == 0) continue;
        line += static_cast<char>(bytes[i]);
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            if (line.size() <= kLongestLine) lines.push_back(line);
            line.clear();
        }
    }
    return lines;
}

void poll_until_quiet()
{
    for (;;) {
        const size_t before = delivered.size();
        receive_poll();
        if (delivered.size() == before) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    int fds[2];
    FUZZ_CHECK(pipe(fds) == 0, "no pipe");
    pipe_out = fds[0];
    pipe_in = fds[1];
    fcntl(pipe_out, F_SETFL, O_NONBLOCK);
    fcntl(pipe_in, F_SETFL, O_NONBLOCK);
    link_use(link_callbacks_default());
    the_link().calls.sleep_ms = [](unsigned) {};
    the_link().calls.line_handler = [](const char* line) { delivered.emplace_back(line); };
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The whole stream fits the pipe, so no write waits for a poll.
    if (size == 0 || size > 60000) return 0;
    link_state_reset();
    command_channel_reset();
    the_link().com_handle = pipe_out;
    delivered.clear();

    unsigned seed = data[0] * 2654435761u + 1;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    const size_t largest_chunk = 1 + data[0] % 97;
    for (size_t pos = 1; pos < size;) {
        size_t chunk = 1 + next() % largest_chunk;
        if (chunk > size - pos) chunk = size - pos;
        const ssize_t w = write(pipe_in, data + pos, chunk);
        FUZZ_CHECK(w == static_cast<ssize_t>(chunk), "pipe write of %zu bytes gave %zd", chunk, w);
        pos += chunk;
        for (unsigned polls = next() % 3; polls > 0; --polls) receive_poll();
    }
    poll_until_quiet();

    // Whatever is left unread in the pipe would fail the next input.
    char rest[256];
    FUZZ_CHECK(read(pipe_out, rest, sizeof rest) < 0, "the poll left bytes in the port");

    for (const std::string& line : delivered) {
        FUZZ_CHECK(!line.empty() && (line.back() == '\r' || line.back() == '\n'), "a line without its end");
        FUZZ_CHECK(line.size() <= kLongestLine, "a line of %zu characters", line.size());
    }
    const std::vector<std::string> expected = expected_lines(data + 1, size - 1);
    FUZZ_CHECK(delivered.size() == expected.size(), "%zu lines delivered, the stream holds %zu", delivered.size(),
               expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        FUZZ_CHECK(delivered[i] == expected[i], "line %zu differs from the stream's", i);
    return 0;
}
