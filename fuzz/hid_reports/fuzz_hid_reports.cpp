// The HidUart_* read path over input reports of any shape. Input: one byte
// choosing the run, then the reports (report_standin.h).
//   even: HidUart_Read with request sizes (1..600, into buffers of exactly
//         that size) from the first byte's seed; the bytes read must be
//         exactly the data the reports carried, in order, none made up or lost.
//   odd:  the receive poll on the bridge carrier: frames gathered from the
//         reports, messages of any kind handed on, lines delivered.
#include "fuzz_support.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/frame_codec.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/platform/bridge_defs.h"
#include "link/platform/hid_uart.h"
#include "report_standin.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace {

void read_directly(HID_UART_DEVICE device, unsigned seed)
{
    std::string got;
    int quiet = 0;
    for (;;) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t n = 1 + (seed >> 16) % 600;
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[n]);
        uint32_t read = 12345;
        const HID_UART_STATUS status = HidUart_Read(device, buffer.get(), n, &read);
        FUZZ_CHECK(status == HID_UART_SUCCESS || status == HID_UART_DEVICE_IO_FAILED, "status %d", status);
        FUZZ_CHECK(read <= n, "read %u of %u", read, n);
        got.append(reinterpret_cast<const char*>(buffer.get()), read);
        // Done when the reports are used up and two reads in a row found nothing.
        if (read == 0 && report_standin_exhausted() && ++quiet == 2) break;
        if (read != 0) quiet = 0;
    }
    const std::string& carried = report_standin_carried();
    FUZZ_CHECK(got.size() == carried.size(), "read %zu bytes, the reports carried %zu", got.size(), carried.size());
    FUZZ_CHECK(got == carried, "bytes read differ from the reports'");
}

// False when the link closed the device itself (the bridge went away).
bool poll_bridge(HID_UART_DEVICE device)
{
    link_state_reset();
    command_channel_reset();
    the_link().hid_device = device;
    the_link().hid_connected = 1;
    // A report that says the bridge is gone closes the link: the poll stops.
    while (the_link().hid_connected && !report_standin_exhausted()) receive_poll();
    receive_poll();
    FUZZ_CHECK(!std::isnan(the_link().device_version), "a version message gave NaN");
    const bool open = the_link().hid_device != nullptr;
    the_link().hid_device = nullptr;
    the_link().hid_connected = 0;
    return open;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    link_use(link_callbacks_default());
    the_link().calls.sleep_ms = [](unsigned) {};
    the_link().calls.line_handler = [](const char* line) {
        FUZZ_CHECK(std::strlen(line) <= frame_buffer_size, "a line of %zu characters", std::strlen(line));
    };
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    report_standin_load(data + 1, size - 1);
    HID_UART_DEVICE device = nullptr;
    FUZZ_CHECK(HidUart_Open(&device, 0, bridge_vendor_id, bridge_product_id) == HID_UART_SUCCESS, "open failed");
    // No wait for reports that are not coming: the stand-in answers at once.
    HidUart_SetTimeouts(device, 0, bridge_write_timeout_ms);
    bool open = true;
    if (data[0] % 2 == 0) read_directly(device, data[0]);
    else open = poll_bridge(device);
    if (open) HidUart_Close(device);
    return 0;
}
