// HidUart_*: the bridge library's calls, provided over hidapi (status 0 is
// success). Only HID reports are spoken; which hidapi implementation is linked
// (the system's or the tests' stand-in) is the consumer's choice.
#pragma once

#include <cstdint>

using HID_UART_DEVICE = void*;
using HID_UART_STATUS = int;

constexpr HID_UART_STATUS HID_UART_SUCCESS = 0x00;
constexpr HID_UART_STATUS HID_UART_DEVICE_NOT_FOUND = 0x01;
constexpr HID_UART_STATUS HID_UART_INVALID_HANDLE = 0x02;
constexpr HID_UART_STATUS HID_UART_INVALID_PARAMETER = 0x09;
constexpr HID_UART_STATUS HID_UART_DEVICE_IO_FAILED = 0x12;
constexpr HID_UART_STATUS HID_UART_WRITE_TIMED_OUT = 0x13;
constexpr HID_UART_STATUS HID_UART_DEVICE_ACCESS_ERROR = 0x16;

HID_UART_STATUS HidUart_GetNumDevices(uint32_t* count, uint16_t vid, uint16_t pid);
// `buffer` holds bridge_string_size (512) bytes; only the product string
// option is offered.
HID_UART_STATUS HidUart_GetString(uint32_t index, uint16_t vid, uint16_t pid, char* buffer, uint32_t option);
HID_UART_STATUS HidUart_Open(HID_UART_DEVICE* device, uint32_t index, uint16_t vid, uint16_t pid);
HID_UART_STATUS HidUart_Close(HID_UART_DEVICE device);
HID_UART_STATUS HidUart_SetUartConfig(HID_UART_DEVICE device, uint32_t baud, uint8_t data_bits, uint8_t parity,
                                      uint8_t stop_bits, uint8_t flow_control);
HID_UART_STATUS HidUart_SetTimeouts(HID_UART_DEVICE device, uint32_t read_ms, uint32_t write_ms);
// Returns what arrives within the read time-out; fewer bytes (even none) is
// still status 0.
HID_UART_STATUS HidUart_Read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t n, uint32_t* read);
HID_UART_STATUS HidUart_Write(HID_UART_DEVICE device, const uint8_t* buffer, uint32_t n, uint32_t* written);
