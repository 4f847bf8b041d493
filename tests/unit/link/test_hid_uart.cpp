#include "link/platform/bridge_defs.h"
#include "link/platform/hid_uart.h"
#include "sim_bridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

using bytes = std::vector<uint8_t>;

class HidUart : public testing::Test {
protected:
    void SetUp() override { sim_bridge_reset(); }
    void TearDown() override
    {
        if (device != nullptr) HidUart_Close(device);
    }
    void open()
    {
        ASSERT_EQ(HID_UART_SUCCESS, HidUart_Open(&device, 0, bridge_vendor_id, bridge_product_id));
        ASSERT_NE(nullptr, device);
    }
    HID_UART_DEVICE device = nullptr;
};

TEST_F(HidUart, FindsTheBridgeAndItsProductString)
{
    uint32_t count = 99;
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_GetNumDevices(&count, bridge_vendor_id, bridge_product_id));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_GetNumDevices(&count, bridge_vendor_id, 0x1234));
    EXPECT_EQ(0u, count);

    char product[bridge_string_size];
    EXPECT_EQ(HID_UART_SUCCESS,
              HidUart_GetString(0, bridge_vendor_id, bridge_product_id, product, bridge_string_product));
    EXPECT_STREQ("Stowline simulated M900 cable", product);
    EXPECT_EQ(0, sim_bridge().open_count);  // the string read does not keep the device open

    sim_bridge().present = false;
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_GetNumDevices(&count, bridge_vendor_id, bridge_product_id));
    EXPECT_EQ(0u, count);
    EXPECT_NE(HID_UART_SUCCESS, HidUart_Open(&device, 0, bridge_vendor_id, bridge_product_id));
    EXPECT_EQ(nullptr, device);
}

TEST_F(HidUart, OpenEnablesTheUartAndConfigSendsTheChipReport)
{
    open();
    ASSERT_EQ(1u, sim_bridge().feature_reports.size());
    EXPECT_EQ((bytes{0x41, 0x01}), sim_bridge().feature_reports[0]);
    EXPECT_TRUE(sim_bridge().uart_enabled);

    EXPECT_EQ(HID_UART_SUCCESS, HidUart_SetUartConfig(device, 38400, 3, 0, 0, 0));
    ASSERT_EQ(2u, sim_bridge().feature_reports.size());
    EXPECT_EQ((bytes{0x50, 0x00, 0x00, 0x96, 0x00, 0x00, 0x00, 0x03, 0x00}), sim_bridge().feature_reports[1]);
    EXPECT_TRUE(sim_bridge_config_matches_meter());

    EXPECT_EQ(HID_UART_SUCCESS, HidUart_SetUartConfig(device, 115200, 3, 0, 1, 1));
    EXPECT_EQ((bytes{0x50, 0x00, 0x01, 0xC2, 0x00, 0x00, 0x01, 0x03, 0x01}), sim_bridge().feature_reports[2]);
    EXPECT_EQ(HID_UART_INVALID_PARAMETER, HidUart_SetUartConfig(device, 100, 3, 0, 0, 0));
    EXPECT_EQ(HID_UART_INVALID_PARAMETER, HidUart_SetUartConfig(device, 38400, 4, 0, 0, 0));

    sim_bridge().fail_config = true;
    EXPECT_NE(HID_UART_SUCCESS, HidUart_SetUartConfig(device, 38400, 3, 0, 0, 0));
    EXPECT_EQ(HID_UART_INVALID_HANDLE, HidUart_SetTimeouts(nullptr, 1, 1000));
}

TEST_F(HidUart, WritesAreChunkedAt63Bytes)
{
    open();
    bytes data(130);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    uint32_t written = 0;
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_Write(device, data.data(), 130, &written));
    EXPECT_EQ(130u, written);
    const auto& reports = sim_bridge().output_reports;
    ASSERT_EQ(3u, reports.size());
    EXPECT_EQ(64u, reports[0].size());
    EXPECT_EQ(63, reports[0][0]);
    EXPECT_EQ(63, reports[1][0]);
    EXPECT_EQ((bytes{4, 126, 127, 128, 129}), reports[2]);
    EXPECT_EQ(data, sim_bridge().uart_rx);
}

TEST_F(HidUart, ReadsKeepSurplusBytesAndTimeOutEmpty)
{
    open();
    ASSERT_EQ(HID_UART_SUCCESS, HidUart_SetTimeouts(device, 1, 1000));
    bytes sent(100);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(200 - i);
    sim_bridge_send_raw(sent.data(), sent.size());

    uint8_t buf[128];
    uint32_t got = 0;
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_Read(device, buf, 1, &got));
    ASSERT_EQ(1u, got);
    EXPECT_EQ(200, buf[0]);
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_Read(device, buf, 128, &got));
    ASSERT_EQ(99u, got);
    EXPECT_EQ(bytes(sent.begin() + 1, sent.end()), bytes(buf, buf + got));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_Read(device, buf, 1, &got));
    EXPECT_EQ(0u, got);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(HidUart, DisabledUartCarriesNothing)
{
    open();
    // Disable behind the layer's back, as after a power cycle.
    sim_bridge().uart_enabled = false;
    const uint8_t data[3] = {1, 2, 3};
    uint32_t n = 0;
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_Write(device, data, 3, &n));
    EXPECT_TRUE(sim_bridge().uart_rx.empty());
    EXPECT_EQ(3u, sim_bridge().dropped_while_disabled);
    sim_bridge_send_raw(data, 3);
    uint8_t buf[4];
    EXPECT_EQ(HID_UART_SUCCESS, HidUart_Read(device, buf, 3, &n));
    EXPECT_EQ(0u, n);
}
