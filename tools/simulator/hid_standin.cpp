// hidapi's calls, answered by the simulated bridge of sim_bridge.h instead of
// a hidraw node. Linked into tests in place of the system's hidapi.
#include "sim_bridge.h"

#include "link/platform/bridge_defs.h"

#include <hidapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

struct hid_device_ {
    int unused;
};

namespace {

hid_device_ the_device;
const char* const bridge_path = "/dev/hidraw-sim0";
const wchar_t* const product_text = L"Stowline simulated M900 cable";
const wchar_t* const manufacturer_text = L"Stowline simulator";

bool matches(unsigned short vid, unsigned short pid)
{
    return (vid == 0 || vid == bridge_vendor_id) && (pid == 0 || pid == bridge_product_id);
}

int copy_wide(wchar_t* out, size_t max, const wchar_t* text)
{
    if (out == nullptr || max == 0) return -1;
    std::wcsncpy(out, text, max - 1);
    out[max - 1] = L'\0';
    return 0;
}

}  // namespace

extern "C" {

int hid_init(void) { return 0; }
int hid_exit(void) { return 0; }

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    if (!sim_bridge().present || !matches(vendor_id, product_id)) return nullptr;
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(bridge_path);
    info->vendor_id = bridge_vendor_id;
    info->product_id = bridge_product_id;
    info->product_string = wcsdup(product_text);
    info->manufacturer_string = wcsdup(manufacturer_text);
    info->serial_number = wcsdup(L"0001");
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void hid_free_enumeration(hid_device_info* devs)
{
    while (devs != nullptr) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs->product_string);
        std::free(devs->manufacturer_string);
        std::free(devs->serial_number);
        std::free(devs);
        devs = next;
    }
}

hid_device* hid_open_path(const char* path)
{
    if (!sim_bridge().present || path == nullptr || std::strcmp(path, bridge_path) != 0) return nullptr;
    ++sim_bridge().open_count;
    return &the_device;
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t*)
{
    if (!matches(vendor_id, product_id)) return nullptr;
    return hid_open_path(bridge_path);
}

void hid_close(hid_device* dev)
{
    if (dev == &the_device && sim_bridge().open_count > 0) --sim_bridge().open_count;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    sim_bridge_state& b = sim_bridge();
    if (dev != &the_device || !b.present || data == nullptr || length < 2) return -1;
    b.output_reports.emplace_back(data, data + length);
    const size_t count = data[0];
    if (count < 1 || count > bridge_max_data_report || count > length - 1) return -1;
    if (!b.uart_enabled) {
        b.dropped_while_disabled += count;
        return static_cast<int>(length);
    }
    sim_bridge_uart_write(data + 1, count);
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int)
{
    sim_bridge_state& b = sim_bridge();
    if (dev != &the_device || !b.present || data == nullptr) return -1;
    // The simulated bridge answers at once; a read with nothing pending is a
    // time-out whatever its length.
    if (b.uart_enabled) sim_bridge_step();
    if (!b.uart_enabled || b.uart_tx.empty() || length < 2) return 0;
    size_t count = b.uart_tx.size();
    if (count > bridge_max_data_report) count = bridge_max_data_report;
    if (count > length - 1) count = length - 1;
    data[0] = static_cast<unsigned char>(count);
    for (size_t i = 0; i < count; ++i) {
        data[1 + i] = b.uart_tx.front();
        b.uart_tx.pop_front();
    }
    return static_cast<int>(count + 1);
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) { return hid_read_timeout(dev, data, length, 0); }

int hid_set_nonblocking(hid_device* dev, int) { return dev == &the_device ? 0 : -1; }

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length)
{
    sim_bridge_state& b = sim_bridge();
    if (dev != &the_device || !b.present || data == nullptr || length < 1) return -1;
    b.feature_reports.emplace_back(data, data + length);
    switch (data[0]) {
    case bridge_report_uart_enable:
        if (length < 2) return -1;
        b.uart_enabled = data[1] != 0;
        break;
    case bridge_report_uart_config:
        if (length < bridge_config_report_size || b.fail_config) return -1;
        std::memcpy(b.config, data, bridge_config_report_size);
        b.configured = true;
        break;
    case bridge_report_purge:
        if (length < 2) return -1;
        if (data[1] & bridge_purge_receive) b.uart_tx.clear();
        break;
    default:
        return -1;
    }
    return static_cast<int>(length);
}

int hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length)
{
    sim_bridge_state& b = sim_bridge();
    if (dev != &the_device || !b.present || data == nullptr || length < 1) return -1;
    switch (data[0]) {
    case bridge_report_uart_enable:
        if (length < 2) return -1;
        data[1] = b.uart_enabled ? 1 : 0;
        return 2;
    case bridge_report_uart_config:
        if (length < bridge_config_report_size) return -1;
        std::memcpy(data + 1, b.config + 1, bridge_config_report_size - 1);
        return bridge_config_report_size;
    default:
        return -1;
    }
}

int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    if (dev != &the_device) return -1;
    return copy_wide(string, maxlen, product_text);
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    if (dev != &the_device) return -1;
    return copy_wide(string, maxlen, manufacturer_text);
}

const wchar_t* hid_error(hid_device*) { return sim_bridge().present ? L"" : L"no such device"; }

}  // extern "C"
