#include "link/platform/hid_uart.h"

#include "link/platform/bridge_defs.h"

#include <hidapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

struct hid_closer {
    void operator()(hid_device* dev) const { hid_close(dev); }
};
using hid_ptr = std::unique_ptr<hid_device, hid_closer>;

// What an HID_UART_DEVICE points at: the open hidraw device and the state the
// bridge library keeps per device.
struct hid_uart_handle {
    hid_ptr dev;
    uint32_t read_ms = 0;
    uint32_t write_ms = 1000;
    // Bytes of input reports beyond what a read asked for.
    uint8_t pending[bridge_fifo_size + bridge_report_size] = {};
    size_t pending_count = 0;
};

hid_uart_handle* handle_of(HID_UART_DEVICE device) { return static_cast<hid_uart_handle*>(device); }

// The path of the index-th matching device, or an empty result.
bool device_path(uint32_t index, uint16_t vid, uint16_t pid, char* path, size_t size)
{
    hid_init();
    hid_device_info* list = hid_enumerate(vid, pid);
    uint32_t i = 0;
    bool found = false;
    for (hid_device_info* d = list; d != nullptr; d = d->next, ++i) {
        if (i == index && d->path != nullptr) {
            std::snprintf(path, size, "%s", d->path);
            found = true;
            break;
        }
    }
    hid_free_enumeration(list);
    return found;
}

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

HID_UART_STATUS HidUart_GetNumDevices(uint32_t* count, uint16_t vid, uint16_t pid)
{
    if (count == nullptr) return HID_UART_INVALID_PARAMETER;
    hid_init();
    hid_device_info* list = hid_enumerate(vid, pid);
    uint32_t n = 0;
    for (hid_device_info* d = list; d != nullptr; d = d->next) ++n;
    hid_free_enumeration(list);
    *count = n;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUart_GetString(uint32_t index, uint16_t vid, uint16_t pid, char* buffer, uint32_t option)
{
    if (buffer == nullptr || option != bridge_string_product) return HID_UART_INVALID_PARAMETER;
    buffer[0] = '\0';
    char path[512];
    if (!device_path(index, vid, pid, path, sizeof path)) return HID_UART_DEVICE_NOT_FOUND;
    wchar_t wide[bridge_string_size] = {};
    int rc;
    {
        hid_ptr dev(hid_open_path(path));
        if (!dev) return HID_UART_DEVICE_ACCESS_ERROR;
        rc = hid_get_product_string(dev.get(), wide, bridge_string_size - 1);
    }
    if (rc < 0) return HID_UART_DEVICE_IO_FAILED;
    // The product string is ASCII in practice; anything else becomes '?'.
    size_t i = 0;
    for (; i + 1 < bridge_string_size && wide[i] != L'\0'; ++i)
        buffer[i] = (wide[i] > 0 && wide[i] < 0x80) ? static_cast<char>(wide[i]) : '?';
    buffer[i] = '\0';
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUart_Open(HID_UART_DEVICE* device, uint32_t index, uint16_t vid, uint16_t pid)
{
    if (device == nullptr) return HID_UART_INVALID_PARAMETER;
    *device = nullptr;
    char path[512];
    if (!device_path(index, vid, pid, path, sizeof path)) return HID_UART_DEVICE_NOT_FOUND;
    hid_ptr dev(hid_open_path(path));
    if (!dev) return HID_UART_DEVICE_ACCESS_ERROR;
    // The UART starts disabled after power-on.
    const uint8_t enable[2] = {bridge_report_uart_enable, 1};
    if (hid_send_feature_report(dev.get(), enable, sizeof enable) < 0) return HID_UART_DEVICE_IO_FAILED;
    auto h = std::make_unique<hid_uart_handle>();
    h->dev = std::move(dev);
    *device = h.release();  // given back through HidUart_Close
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUart_Close(HID_UART_DEVICE device)
{
    std::unique_ptr<hid_uart_handle> h(handle_of(device));
    if (!h) return HID_UART_INVALID_HANDLE;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUart_SetUartConfig(HID_UART_DEVICE device, uint32_t baud, uint8_t data_bits, uint8_t parity,
                                      uint8_t stop_bits, uint8_t flow_control)
{
    hid_uart_handle* h = handle_of(device);
    if (h == nullptr) return HID_UART_INVALID_HANDLE;
    if (baud < bridge_baud_min || baud > bridge_baud_max || data_bits > 3 || parity > 4 || stop_bits > 1 ||
        flow_control > 1)
        return HID_UART_INVALID_PARAMETER;
    const uint8_t report[bridge_config_report_size] = {bridge_report_uart_config,
                                                       static_cast<uint8_t>(baud >> 24),
                                                       static_cast<uint8_t>(baud >> 16),
                                                       static_cast<uint8_t>(baud >> 8),
                                                       static_cast<uint8_t>(baud),
                                                       parity,
                                                       flow_control,
                                                       data_bits,
                                                       stop_bits};
    if (hid_send_feature_report(h->dev.get(), report, sizeof report) < 0) return HID_UART_DEVICE_IO_FAILED;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUart_SetTimeouts(HID_UART_DEVICE device, uint32_t read_ms, uint32_t write_ms)
{
    hid_uart_handle* h = handle_of(device);
    if (h == nullptr) return HID_UART_INVALID_HANDLE;
    h->read_ms = read_ms;
    h->write_ms = write_ms;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUart_Read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t n, uint32_t* read)
{
    hid_uart_handle* h = handle_of(device);
    if (read != nullptr) *read = 0;
    if (h == nullptr) return HID_UART_INVALID_HANDLE;
    if (buffer == nullptr || read == nullptr) return HID_UART_INVALID_PARAMETER;
    uint32_t got = 0;
    const long long deadline = now_ms() + h->read_ms;
    for (;;) {
        const size_t take = h->pending_count < n - got ? h->pending_count : n - got;
        if (take > 0) {
            std::memcpy(buffer + got, h->pending, take);
            std::memmove(h->pending, h->pending + take, h->pending_count - take);
            h->pending_count -= take;
            got += static_cast<uint32_t>(take);
        }
        if (got == n) break;
        const long long left = deadline - now_ms();
        if (left <= 0 && got > 0) break;
        uint8_t report[bridge_report_size];
        const int rc = hid_read_timeout(h->dev.get(), report, sizeof report, left > 0 ? static_cast<int>(left) : 0);
        if (rc < 0) {
            *read = got;
            return HID_UART_DEVICE_IO_FAILED;
        }
        if (rc == 0) {
            if (left <= 0) break;
            continue;
        }
        size_t len = report[0];
        if (len > static_cast<size_t>(rc - 1)) len = static_cast<size_t>(rc - 1);
        if (len > sizeof h->pending - h->pending_count) len = sizeof h->pending - h->pending_count;
        std::memcpy(h->pending + h->pending_count, report + 1, len);
        h->pending_count += len;
    }
    *read = got;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUart_Write(HID_UART_DEVICE device, const uint8_t* buffer, uint32_t n, uint32_t* written)
{
    hid_uart_handle* h = handle_of(device);
    if (written != nullptr) *written = 0;
    if (h == nullptr) return HID_UART_INVALID_HANDLE;
    if ((buffer == nullptr && n > 0) || written == nullptr) return HID_UART_INVALID_PARAMETER;
    const long long deadline = now_ms() + h->write_ms;
    uint32_t sent = 0;
    while (sent < n) {
        uint8_t report[bridge_report_size];
        const uint32_t len = (n - sent) < bridge_max_data_report ? (n - sent) : bridge_max_data_report;
        report[0] = static_cast<uint8_t>(len);
        std::memcpy(report + 1, buffer + sent, len);
        if (hid_write(h->dev.get(), report, len + 1) < 0) {
            *written = sent;
            return HID_UART_DEVICE_IO_FAILED;
        }
        sent += len;
        if (sent < n && now_ms() > deadline) {
            *written = sent;
            return HID_UART_WRITE_TIMED_OUT;
        }
    }
    *written = sent;
    return HID_UART_SUCCESS;
}
