// Constants of the USB HID-to-UART bridge in the M900 cable: USB identity,
// report ids and the bytes of its UART configuration report.
// Shared by the HidUart layer and the bridge stand-in of the tests.
#pragma once

#include <cstdint>

constexpr uint16_t bridge_vendor_id = 0x10C4;
constexpr uint16_t bridge_product_id = 0x0892;

// Data reports: the report id is the number of data bytes that follow.
constexpr unsigned bridge_max_data_report = 63;
constexpr unsigned bridge_report_size = 64;

// Feature reports.
constexpr uint8_t bridge_report_uart_enable = 0x41;   // [0x41, 1|0]
constexpr uint8_t bridge_report_uart_status = 0x42;   // get: tx fifo(2), rx fifo(2), errors, break
constexpr uint8_t bridge_report_purge = 0x43;         // [0x43, mask]
constexpr uint8_t bridge_report_version = 0x46;       // get: part number, firmware version
constexpr uint8_t bridge_report_uart_config = 0x50;   // 9 bytes, below

constexpr uint8_t bridge_purge_transmit = 1;
constexpr uint8_t bridge_purge_receive = 2;
constexpr unsigned bridge_fifo_size = 480;

// UART configuration report: [0x50, baud (4 bytes, most significant first),
// parity, flow control, data bits, stop bits].
constexpr unsigned bridge_config_report_size = 9;
constexpr uint8_t bridge_parity_none = 0;
constexpr uint8_t bridge_flow_none = 0;
constexpr uint8_t bridge_flow_rts_cts = 1;
constexpr uint8_t bridge_data_bits_8 = 3;   // 0..3 mean 5..8
constexpr uint8_t bridge_stop_bits_short = 0;
constexpr uint8_t bridge_stop_bits_long = 1;
constexpr uint32_t bridge_baud_min = 300;
constexpr uint32_t bridge_baud_max = 1000000;

// The meter's UART settings and the time-outs the link uses.
constexpr uint32_t bridge_meter_baud = 38400;
constexpr uint32_t bridge_read_timeout_ms = 1;
constexpr uint32_t bridge_write_timeout_ms = 1000;

// The library's option for the product string, and its string buffer size.
constexpr uint32_t bridge_string_product = 6;
constexpr unsigned bridge_string_size = 512;
