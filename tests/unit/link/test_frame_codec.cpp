#include "link/frame_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using bytes = std::vector<uint8_t>;

static bytes encode(const bytes& message)
{
    uint8_t frame[frame_buffer_size];
    const size_t n = frame_encode(message.data(), message.size(), frame);
    return bytes(frame, frame + n);
}

static bytes text_message(uint16_t code, const char* text, size_t n)
{
    uint8_t m[message_header_size + message_max_text];
    const size_t len = build_text_message(m, code, text, n);
    return bytes(m, m + len);
}

TEST(Crc16X25, CheckValueAndEmptyInput)
{
    const char* digits = "123456789";
    EXPECT_EQ(0x906E, crc16_x25(reinterpret_cast<const uint8_t*>(digits), 9));
    EXPECT_EQ(0x0000, crc16_x25(nullptr, 0));
}

TEST(FrameEncode, ConnectAndCommandMessagesMatchTheWire)
{
    const bytes connect = text_message(message_code_connect, nullptr, 0);
    EXPECT_EQ((bytes{0x00, 0x00, 0x02, 0x00, 0x08, 0x00}), connect);
    EXPECT_EQ(0x0039, crc16_x25(connect.data(), connect.size()));
    EXPECT_EQ((bytes{0x7E, 0x00, 0x00, 0x02, 0x00, 0x08, 0x00, 0x39, 0x00, 0x7E}), encode(connect));

    const bytes ad = text_message(message_code_command, ":AD\r", 4);
    EXPECT_EQ((bytes{0x00, 0x00, 0x06, 0x00, 0x5E, 0x00, 0x3A, 0x41, 0x44, 0x0D}), ad);
    EXPECT_EQ(0x311F, crc16_x25(ad.data(), ad.size()));
    EXPECT_EQ((bytes{0x7E, 0x00, 0x00, 0x06, 0x00, 0x5E, 0x00, 0x3A, 0x41, 0x44, 0x0D, 0x1F, 0x31, 0x7E}), encode(ad));
}

TEST(FrameEncode, TextIsCutAt255Bytes)
{
    std::vector<char> text(300, 'x');
    const bytes m = text_message(message_code_command, text.data(), text.size());
    EXPECT_EQ(message_header_size + 255, m.size());
    EXPECT_EQ(257, m[2] | (m[3] << 8));
}

TEST(FrameEscapes, SpecialBytesBothWays)
{
    const bytes message{0x03, 0x7D, 0x7E, 0x41};
    const bytes frame = encode(message);
    ASSERT_GE(frame.size(), 9u);
    EXPECT_EQ((bytes{0x7E, 0x7D, 0x23, 0x7D, 0x5D, 0x7D, 0x5E, 0x41}), bytes(frame.begin(), frame.begin() + 8));
    // No flag inside the frame, whatever the CRC bytes are.
    for (size_t i = 1; i + 1 < frame.size(); ++i) EXPECT_NE(0x7E, frame[i]);

    uint8_t out[frame_buffer_size];
    const size_t n = frame_decode(frame.data() + 1, frame.size() - 2, out, sizeof out);
    EXPECT_EQ(message, bytes(out, out + n));

    // 0x7D followed by any byte stands for that byte xor 0x20.
    bytes in{0x7D, 0x41, 0x62};
    const uint16_t crc = crc16_x25(reinterpret_cast<const uint8_t*>("ab"), 2);
    for (uint8_t c : {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)}) {
        if (c == 0x7D || c == 0x7E || c == 0x03) {
            in.push_back(0x7D);
            in.push_back(static_cast<uint8_t>(c ^ 0x20));
        } else {
            in.push_back(c);
        }
    }
    ASSERT_EQ(2u, frame_decode(in.data(), in.size(), out, sizeof out));
    EXPECT_EQ(0x61, out[0]);
    EXPECT_EQ(0x62, out[1]);
}

TEST(FrameEncode, SizeLimits)
{
    // Each 0x7E doubles; 252 of them still fit with CRC and flag, 253 do not.
    const bytes fits(252, 0x7E);
    const bytes too_big(253, 0x7E);
    const bytes frame = encode(fits);
    EXPECT_GT(frame.size(), 0u);
    EXPECT_LE(frame.size(), frame_buffer_size);
    EXPECT_TRUE(encode(too_big).empty());

    std::vector<char> flags(255, 0x7E);
    EXPECT_TRUE(encode(text_message(message_code_command, flags.data(), flags.size())).empty());
}

TEST(FrameDecode, ShortAndCorruptFramesAreRejected)
{
    uint8_t out[frame_buffer_size];
    testing::internal::CaptureStdout();
    const uint8_t three[3] = {1, 2, 3};
    EXPECT_EQ(0u, frame_decode(three, 3, out, sizeof out));
    EXPECT_EQ(0u, frame_decode(three, 0, out, sizeof out));
    EXPECT_EQ(0u, frame_decode(three, 3, out, 0));
    const uint8_t escaped_four[5] = {0x7D, 0x5E, 2, 3, 4};  // unescapes to 4 bytes: length fine
    frame_decode(escaped_four, 5, out, sizeof out);
    EXPECT_EQ("PACKET LENGTH FAIL!\nPACKET LENGTH FAIL!\nPACKET LENGTH FAIL!\n", testing::internal::GetCapturedStdout());

    bytes frame = encode(text_message(0, "hello\r", 6));
    frame[8] ^= 0x01;
    EXPECT_EQ(0u, frame_decode(frame.data() + 1, frame.size() - 2, out, sizeof out));
}

static std::vector<bytes> assemble(frame_assembler& a, const bytes& stream)
{
    std::vector<bytes> frames;
    for (uint8_t b : stream) {
        if (frame_assembler_push(a, b)) {
            frames.emplace_back(a.buffer, a.buffer + a.count);
            frame_assembler_reset(a);
        }
    }
    return frames;
}

TEST(FrameAssembler, RepeatedFlagsSplitReadsAndBackToBackFrames)
{
    frame_assembler a;
    const bytes one{0x7E, 0x7E, 0x7E, 0x11, 0x22, 0x7E};
    const auto frames = assemble(a, one);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ((bytes{0x11, 0x22}), frames[0]);

    // A frame arriving over several reads completes on its closing flag.
    frame_assembler b;
    EXPECT_TRUE(assemble(b, {0x55, 0x7E, 0x01}).empty());
    EXPECT_TRUE(assemble(b, {0x02, 0x03}).empty());
    const auto late = assemble(b, {0x04, 0x7E});
    ASSERT_EQ(1u, late.size());
    EXPECT_EQ((bytes{0x01, 0x02, 0x03, 0x04}), late[0]);

    // Back to back, each with both flags.
    frame_assembler c;
    const auto two = assemble(c, {0x7E, 0x01, 0x7E, 0x7E, 0x02, 0x7E});
    ASSERT_EQ(2u, two.size());
    EXPECT_EQ(bytes{0x02}, two[1]);
    // The closing flag does not open the next frame.
    frame_assembler d;
    EXPECT_EQ(1u, assemble(d, {0x7E, 0x01, 0x7E, 0x02, 0x7E}).size());
}

TEST(FrameAssembler, OverlongFrameKeepsItsFirst512Bytes)
{
    frame_assembler a;
    bytes stream{0x7E};
    stream.insert(stream.end(), 600, 0x41);
    stream.push_back(0x7E);
    const auto frames = assemble(a, stream);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(frame_buffer_size, frames[0].size());
}
