#include "link/command_channel.h"
#include "link/frame_codec.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link_fixture.h"
#include "sim_bridge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using bytes = std::vector<uint8_t>;

class HidChannel : public testing::Test {
protected:
    void SetUp() override { reset_link(); }
    void TearDown() override { reset_link(); }
    void connect()
    {
        testing::internal::CaptureStdout();
        ASSERT_TRUE(hid_connect_link());
        trace = testing::internal::GetCapturedStdout();
        ASSERT_EQ(1, the_link().hid_connected);
    }
    std::string trace;
};

TEST_F(HidChannel, ConnectOpensConfiguresAndSendsTheConnectMessage)
{
    connect();
    EXPECT_EQ("SLAB DEBUG (0x0): Number of devices - 1\n"
              "SLAB DEBUG (0x0): String - Stowline simulated M900 cable\n"
              "SLAB DEBUG (0x0): Connected...\n"
              "SLAB DEBUG (0x0): Configured HID UART at 38400\n"
              "---> Outgoing: \n",
              trace);
    ASSERT_EQ(1u, rec.status.size());
    EXPECT_EQ("Connected to the Stowline simulated M900 cable...\n", rec.status[0]);
    EXPECT_TRUE(sim_bridge_config_matches_meter());
    EXPECT_TRUE(link_is_connected());

    // Preamble, pause, then the connect frame after its own preamble.
    const bytes wire{0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x00, 0x00, 0x02, 0x00, 0x08, 0x00, 0x39, 0x00, 0x7E};
    EXPECT_EQ(wire, sim_bridge().uart_rx);
    EXPECT_EQ(2, rec.sleeps);
    ASSERT_EQ(1u, sim_bridge().messages.size());
    EXPECT_EQ((bytes{0x00, 0x00, 0x02, 0x00, 0x08, 0x00}), sim_bridge().messages[0]);
    EXPECT_TRUE(sim_bridge().uart_tx.empty());  // the connect message is not acknowledged
    EXPECT_EQ(1, the_link().clear_to_send);
}

TEST_F(HidChannel, MissingOrMisconfiguredBridge)
{
    sim_bridge().present = false;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(hid_connect_link());
    EXPECT_EQ("SLAB DEBUG (0x0): Number of devices - 0\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, the_link().hid_connected);
    ASSERT_EQ(1u, rec.status.size());
    EXPECT_STREQ(hid_missing_text, rec.status[0].c_str());
    EXPECT_FALSE(link_is_connected());

    sim_bridge_reset();
    sim_bridge().fail_config = true;
    rec.status.clear();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(hid_open());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Error - Could not set baud to 38400\n"));
    EXPECT_NE(std::string::npos, out.find("SLAB DEBUG: ERROR: COULD NOT SET TIMEOUTS\n"));
    EXPECT_EQ(nullptr, the_link().hid_device);
    EXPECT_EQ(0, sim_bridge().open_count);
    EXPECT_TRUE(rec.status.empty());
}

TEST_F(HidChannel, CommandFramesAndTheClearToSendWait)
{
    connect();
    const size_t before = sim_bridge().uart_rx.size();
    testing::internal::CaptureStdout();
    EXPECT_NE(0, send_command(":AD\r"));
    EXPECT_EQ(0, the_link().clear_to_send);
    const bytes frame{0x7E, 0x7E, 0x7E, 0x00, 0x00, 0x06, 0x00, 0x5E, 0x00, 0x3A, 0x41, 0x44, 0x0D, 0x1F, 0x31, 0x7E};
    EXPECT_EQ(frame, bytes(sim_bridge().uart_rx.begin() + static_cast<long>(before), sim_bridge().uart_rx.end()));

    // The acknowledgement waiting in the bridge releases the next command
    // after one failed check.
    EXPECT_NE(0, send_command(":A-\r"));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(1, rec.pumps);
    EXPECT_NE(std::string::npos, out.find("-----> TX: :AD\r\n\n---> Outgoing: :AD\r\n"));
    EXPECT_NE(std::string::npos, out.find("---> Ack: 0\n"));
    EXPECT_EQ((std::vector<std::string>{":AD\r", ":A-\r"}), sim_bridge().command_lines);
}

TEST_F(HidChannel, WaitGivesUpAfter101Checks)
{
    connect();
    sim_bridge().acks_to_skip = 1;
    testing::internal::CaptureStdout();
    EXPECT_NE(0, send_command(":A-\r"));
    EXPECT_EQ(0, send_command(":AG,01\r"));
    // A pause and a pump after each failed check but the last.
    EXPECT_EQ(100, rec.pumps);
    EXPECT_EQ(1, rec.progress_hides);
    EXPECT_EQ(1u, sim_bridge().command_lines.size());
    EXPECT_EQ(0, the_link().clear_to_send);

    // A late acknowledgement frees the channel again.
    sim_bridge_send_ack(5);
    rec.pumps = 0;
    EXPECT_NE(0, send_command(":AG,01\r"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(1, rec.pumps);
    EXPECT_EQ(2u, sim_bridge().command_lines.size());
}

TEST_F(HidChannel, FrameTooBigForTheBufferIsNotSent)
{
    connect();
    const size_t before = sim_bridge().uart_rx.size();
    const std::string fits(249, '\x7e');  // 6 + 2 x 249 escaped bytes: the last that fit
    const std::string flags(250, '\x7e');
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, send_frame_message(message_code_command, flags.data(), flags.size()));
    EXPECT_EQ(0, send_command(flags.c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(1, the_link().clear_to_send);              // nothing went out, so nothing is awaited
    EXPECT_EQ(before + 4, sim_bridge().uart_rx.size());  // only the two preambles
    EXPECT_TRUE(sim_bridge().command_lines.empty());

    testing::internal::CaptureStdout();
    EXPECT_NE(0, send_command(fits.c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ((std::vector<std::string>{fits}), sim_bridge().command_lines);
}

TEST_F(HidChannel, AllWaitingFramesInOnePoll)
{
    connect();
    the_link().clear_to_send = 0;
    sim_bridge_send_text(":AG,02\r");
    sim_bridge_send_version("1.12.3\0\0\0\0");
    sim_bridge_send_text(":AN,Long Range\r", 94);
    sim_bridge_send_ack(0x1234);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(receive_poll());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ((std::vector<std::string>{":AG,02\r", ":AN,Long Range\r"}), rec.lines);
    EXPECT_EQ("--->>> Version: 1.1230\n---> Ack: 4660\n", out);
    EXPECT_FLOAT_EQ(1.123f, the_link().device_version);
    EXPECT_EQ(1, the_link().clear_to_send);

    // 1.12.3 asks for acknowledgements.
    testing::internal::CaptureStdout();
    acknowledge_line();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ((std::vector<std::string>{":AK\r"}), sim_bridge().command_lines);
}

TEST_F(HidChannel, BadFramesAreDroppedAndGarbageSurvived)
{
    connect();
    const uint8_t noise[] = {0x00, 0x13, 0xFF, 0x7D, 0x41, 0x0D};
    sim_bridge_send_raw(noise, sizeof noise);
    sim_bridge_send_text(":AS\r");
    sim_bridge().corrupt_next = true;
    sim_bridge_send_text(":AP lost\r");
    const uint8_t short_frame[] = {0x7E, 0x01, 0x02, 0x7E};
    sim_bridge_send_raw(short_frame, sizeof short_frame);
    const uint8_t tiny_kinds[] = {0x04, 0x00};  // acknowledgement without its value
    sim_bridge_send_message(tiny_kinds, sizeof tiny_kinds);
    const uint8_t other_kind[] = {0x07, 0x00, 0x00, 0x00};
    sim_bridge_send_message(other_kind, sizeof other_kind);
    sim_bridge_send_text(":AQ\r");
    testing::internal::CaptureStdout();
    receive_poll();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ((std::vector<std::string>{":AS\r", ":AQ\r"}), rec.lines);
    EXPECT_EQ("Got a bad frame...\nPACKET LENGTH FAIL!\nGot a bad frame...\n---> Ack: 0\n", out);

    the_link().upload_active = 1;
    sim_bridge_send_text(":AS\r");
    receive_poll();
    EXPECT_EQ(2u, rec.lines.size());
}

TEST(DeviceVersion, ParsingAndTheAcknowledgementThreshold)
{
    auto parse = [](const char* ten) { return parse_device_version(reinterpret_cast<const uint8_t*>(ten), 10); };
    EXPECT_FLOAT_EQ(1.123f, parse("1.12.3    "));
    EXPECT_FLOAT_EQ(1.12f, parse("1.12\0\0\0\0\0\0"));
    EXPECT_FLOAT_EQ(1.119f, parse("1.11.9xxxx"));
    EXPECT_FLOAT_EQ(2.0f, parse("2.00.0abcd"));
    EXPECT_FLOAT_EQ(0.0f, parse("junk!.\xff\x01\x02\x03"));
    EXPECT_FLOAT_EQ(0.0f, parse("\0\0\0\0\0\0\0\0\0\0"));
    EXPECT_FLOAT_EQ(1.0f, parse_device_version(reinterpret_cast<const uint8_t*>("1.0"), 3));
    EXPECT_FLOAT_EQ(0.0f, parse_device_version(nullptr, 0));

    EXPECT_GE(parse("1.12.3    "), 1.12001f);
    EXPECT_LT(parse("1.12      "), 1.12001f);
    EXPECT_LT(parse("1.11.9    "), 1.12001f);
}

TEST_F(HidChannel, ShortVersionMessageIsSafe)
{
    connect();
    const uint8_t version[] = {0x03, 0x00, 0x02, 0x00, '1', '.'};
    sim_bridge_send_message(version, sizeof version);
    testing::internal::CaptureStdout();
    receive_poll();
    EXPECT_EQ("--->>> Version: 1.0000\n", testing::internal::GetCapturedStdout());
}
