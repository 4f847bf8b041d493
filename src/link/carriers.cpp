#include "link/carriers.h"

#include "base/console.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/frame_codec.h"
#include "link/link_object.h"
#include "link/link_state.h"
#include "link/platform/bridge_defs.h"
#include "link/platform/hid_uart.h"
#include "link/platform/serial_port.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char* const hid_missing_text =
    "Error: Could not detect Zeravik USB Cable.  It connects as soon as the cable is plugged in...";
const char* const bridge_lost_text =
    "Device disconnected: the Zeravik USB Cable was pulled out; it connects again when it is plugged in...";

// The list entry of the open port, kept to find it in a port list that changed.
static std::string open_port_name;

link_callbacks link_callbacks_default()
{
    link_callbacks c = link_callbacks_silent();
    c.line_handler = handle_download_line;
    return c;
}

// The program starts with the download's line handler, and a carrier failure
// in the command channel below comes back here.
[[maybe_unused]] static const bool carriers_started =
    (link_use(link_callbacks_default()), link_set_carrier_failed_handler(link_lost), true);

void link_start_receive_poll(unsigned interval_ms)
{
    link_stop_receive_poll();
    link_set_poll_timer(the_link().calls.start_timer(interval_ms, receive_poll));
}

link_result link_connect_port(const char* name)
{
    if (link_refuse_without_driver()) return link_failure(link_status::no_driver, 0, link_no_driver_text);
    link_result r = com_open_name(name);
    if (!r) return r;
    link_set_port_connected(1);
    forget_device_side_download();
    link_start_receive_poll(com_poll_interval_ms);
    return r;
}

void link_disconnect_port()
{
    com_close();
    link_set_port_connected(0);
    forget_device_side_download();
    link_stop_receive_poll();
}

link_result link_connect_bridge()
{
    if (link_refuse_without_driver()) return link_failure(link_status::no_driver, 0, link_no_driver_text);
    link_result r = hid_connect_link();
    if (!r) return r;
    forget_device_side_download();
    link_start_receive_poll(hid_poll_interval_ms);
    return r;
}

link_result com_open_path(const char* path)
{
    if (the_link().com_handle != -1) com_close();
    int fd = -1;
    link_result r = serial_open_port(path, relay_mode == 1 ? 115200 : 9600, &fd);
    if (!r) {
        console_message("Error -> %d\n", r.err);
        return r;
    }
    the_link().com_handle = fd;
    console_message("Connected... Handle: %d\n", fd);
    return r;
}

link_result com_open(int n)
{
    // The port number travels as a signed 8-bit value.
    if (n < 1 || n > 127) {
        console_message("Error -> %d\n", ENOENT);
        return port_open_failure(ENOENT, "COM" + std::to_string(n));
    }
    char name[32];
    if (n <= 9) std::snprintf(name, sizeof name, "COM%d", n);
    else std::snprintf(name, sizeof name, "\\\\.\\com%d", n);
    char path[64];
    if (!com_name_to_path(name, path, sizeof path)) {
        console_message("Error -> %d\n", ENOENT);
        return port_open_failure(ENOENT, name);
    }
    link_result r = com_open_path(path);
    if (!r) r.why = port_failure_text(r.status, r.err, name);
    return r;
}

link_result com_open_name(const char* name)
{
    if (name == nullptr || name[0] == '\0') {
        console_message("Error -> %d\n", ENOENT);
        return port_open_failure(ENOENT, "");
    }
    link_result opened;
    if (name[0] == '/') {
        opened = com_open_path(name);
    } else {
        char copy[64];
        std::snprintf(copy, sizeof copy, "%s", name);
        char* save = nullptr;
        const char* token = strtok_r(copy, "COM", &save);
        opened = com_open(token != nullptr ? std::atoi(token) : 0);
        // Said with the name the caller gave.
        if (!opened) opened.why = port_failure_text(opened.status, opened.err, name);
    }
    if (opened) open_port_name = name;
    return opened;
}

int com_close()
{
    serial_close(the_link().com_handle);
    the_link().com_handle = -1;
    open_port_name.clear();
    com_line_reset();
    return 1;
}

const char* com_port_name() { return open_port_name.c_str(); }

void com_drain_input()
{
    for (int pass = 0; pass < 10; ++pass) {
        unsigned char byte;
        while (serial_read(the_link().com_handle, &byte, 1) == 1) {}
    }
}

namespace {

link_result cable_failed(HID_UART_STATUS status, const char* what)
{
    char text[96];
    std::snprintf(text, sizeof text, "the USB cable %s (status 0x%02X)", what, static_cast<unsigned>(status));
    return link_failure(link_status::cable_failed, status, text);
}

}  // namespace

link_result hid_open()
{
    uint32_t count = 0;
    HID_UART_STATUS status = HidUart_GetNumDevices(&count, bridge_vendor_id, bridge_product_id);
    console_message("SLAB DEBUG (0x%0X): Number of devices - %d\n", static_cast<unsigned>(status),
                    static_cast<int>(count));
    if (count == 0)
        return link_failure(link_status::no_cable, status != 0 ? status : HID_UART_DEVICE_NOT_FOUND,
                            "the USB cable is not plugged in");

    char product[bridge_string_size] = {};
    status = HidUart_GetString(0, bridge_vendor_id, bridge_product_id, product, bridge_string_product);
    console_message("SLAB DEBUG (0x%0X): String - %s\n", static_cast<unsigned>(status), product);

    HID_UART_DEVICE device = nullptr;
    status = HidUart_Open(&device, 0, bridge_vendor_id, bridge_product_id);
    console_message("SLAB DEBUG (0x%0X): Connected...\n", static_cast<unsigned>(status));
    if (status != 0) return cable_failed(status, "did not open");
    the_link().hid_device = device;

    status = HidUart_SetUartConfig(the_link().hid_device, bridge_meter_baud, bridge_data_bits_8, bridge_parity_none,
                                   bridge_stop_bits_short, bridge_flow_none);
    if (status != 0) {
        HidUart_Close(the_link().hid_device);
        the_link().hid_device = nullptr;
        console_message("SLAB DEBUG (0x%0X): Error - Could not set baud to %d\n", static_cast<unsigned>(status),
                        static_cast<int>(bridge_meter_baud));
    } else {
        console_message("SLAB DEBUG (0x%0X): Configured HID UART at %d\n", 0u, static_cast<int>(bridge_meter_baud));
    }

    status = HidUart_SetTimeouts(the_link().hid_device, bridge_read_timeout_ms, bridge_write_timeout_ms);
    if (status != 0) {
        if (the_link().hid_device != nullptr) HidUart_Close(the_link().hid_device);
        the_link().hid_device = nullptr;
        console_message("SLAB DEBUG: ERROR: COULD NOT SET TIMEOUTS\n");
        return cable_failed(status, "did not take its settings");
    }
    char text[600];
    std::snprintf(text, sizeof text, "Connected to the %s...\n", product);
    the_link().calls.status(text);
    return {};
}

link_result hid_connect_link()
{
    link_result r = hid_open();
    if (!r) {
        the_link().calls.status(hid_missing_text);
        return r;
    }
    the_link().hid_connected = 1;
    const uint8_t preamble[2] = {frame_flag, frame_flag};
    uint32_t written = 0;
    HidUart_Write(the_link().hid_device, preamble, sizeof preamble, &written);
    the_link().calls.sleep_ms(10);
    send_frame_message(message_code_connect, nullptr, 0);
    return r;
}

void hid_close_link()
{
    if (the_link().hid_device != nullptr) HidUart_Close(the_link().hid_device);
    the_link().hid_device = nullptr;
    the_link().hid_connected = 0;
    the_link().clear_to_send = 1;
    frame_assembler_reset();
    forget_device_side_download();
}

bool bridge_present()
{
    uint32_t count = 0;
    return HidUart_GetNumDevices(&count, bridge_vendor_id, bridge_product_id) == 0 && count > 0;
}

link_result bridge_connect_if_present()
{
    if (!bridge_present()) return link_failure(link_status::no_cable, 0, "the USB cable is not plugged in");
    return hid_connect_link();
}

void link_lost()
{
    const bool bridge = the_link().hid_connected != 0 || the_link().hid_device != nullptr;
    if (!bridge && the_link().com_handle == -1) return;
    const std::string port = bridge ? "" : open_port_name;
    console_message("Lost the link to the device%s%s...\n", bridge ? "" : " on ", port.c_str());
    if (bridge) {
        hid_close_link();
        link_stop_receive_poll();
    } else {
        link_disconnect_port();
    }
    the_link().calls.lost(port.c_str());
    if (download_running()) download_lost();
    else if (!the_link().upload_active) the_link().calls.status(bridge ? bridge_lost_text : "Device disconnected...\n");
}

void link_reset()
{
    if (the_link().com_handle != -1) com_close();
    if (the_link().hid_device != nullptr) HidUart_Close(the_link().hid_device);
    the_link().bridge_chosen = 0;
    the_link().bridge_auto = 0;
    link_state_reset();
    command_channel_reset();
    download_reset();
    forget_device_side_download();
}

void link_choose_bridge(bool chosen)
{
    the_link().bridge_chosen = chosen ? 1 : 0;
    the_link().bridge_auto = chosen ? 1 : 0;
}

void link_set_bridge_auto(bool on) { the_link().bridge_auto = on ? 1 : 0; }
bool link_bridge_chosen() { return the_link().bridge_chosen != 0; }
bool link_bridge_auto() { return the_link().bridge_auto != 0; }
