// The bridge's framing. The input is taken two ways: as a received byte
// stream, every frame gathered and decoded (into an output buffer of a size
// the input chooses, exactly that size); and as a message to send (code:
// first two bytes, text: the rest), built, encoded and then gathered and
// decoded again, which must give the message back.
#include "fuzz_support.h"
#include "link/frame_codec.h"

#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;

    // A received stream.
    const size_t out_size = 1 + (data[0] | (data[1] << 8)) % 600;
    std::unique_ptr<uint8_t[]> out(new uint8_t[out_size]);
    frame_assembler rx;
    for (size_t i = 0; i < size; ++i) {
        const bool complete = frame_assembler_push(rx, data[i]);
        FUZZ_CHECK(rx.count <= frame_buffer_size, "assembler holds %zu bytes", rx.count);
        if (!complete) continue;
        const size_t n = frame_decode(rx.buffer, rx.count, out.get(), out_size);
        FUZZ_CHECK(n + 2 <= out_size || n == 0, "decoded %zu bytes into %zu", n, out_size);
        frame_assembler_reset(rx);
    }

    // A message sent and received.
    const uint16_t code = static_cast<uint16_t>(data[0] | (data[1] << 8));
    const char* text = reinterpret_cast<const char*>(data + 2);
    const size_t length = size - 2;
    uint8_t message[message_header_size + message_max_text];
    const size_t n = build_text_message(message, code, text, length);
    const size_t kept = length < message_max_text ? length : message_max_text;
    FUZZ_CHECK(n == message_header_size + kept, "message of %zu bytes for %zu of text", n, length);
    FUZZ_CHECK(std::memcmp(message + message_header_size, text, kept) == 0, "text changed in the message");

    uint8_t frame[frame_buffer_size];
    const size_t frame_length = frame_encode(message, n, frame);
    if (frame_length == 0) return 0;  // too many bytes to escape: refused, not cut
    FUZZ_CHECK(frame_length <= frame_buffer_size, "frame of %zu bytes", frame_length);
    frame_assembler back;
    size_t completes = 0;
    for (size_t i = 0; i < frame_length; ++i) {
        if (!frame_assembler_push(back, frame[i])) continue;
        ++completes;
        FUZZ_CHECK(i == frame_length - 1, "frame completed early, at byte %zu of %zu", i, frame_length);
    }
    FUZZ_CHECK(completes == 1, "frame completed %zu times", completes);
    uint8_t decoded[frame_buffer_size];
    const size_t m = frame_decode(back.buffer, back.count, decoded, sizeof decoded);
    FUZZ_CHECK(m == n && std::memcmp(decoded, message, n) == 0, "message of %zu bytes decoded as %zu", n, m);
    return 0;
}
