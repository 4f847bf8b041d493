#include "report_standin.h"

#include <hidapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

struct hid_device_ {
    int unused;
};

namespace {

hid_device_ the_device;
const char* const device_node = "/dev/hidraw-fuzz";
const uint8_t* next_byte = nullptr;
const uint8_t* end_byte = nullptr;
std::string carried;

}  // namespace

void report_standin_load(const uint8_t* data, size_t size)
{
    next_byte = data;
    end_byte = data + size;
    carried.clear();
}

const std::string& report_standin_carried() { return carried; }
bool report_standin_exhausted() { return next_byte == end_byte; }

extern "C" {

int hid_init(void) { return 0; }
int hid_exit(void) { return 0; }

hid_device_info* hid_enumerate(unsigned short, unsigned short)
{
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(device_node);
    return info;
}

void hid_free_enumeration(hid_device_info* devs)
{
    while (devs != nullptr) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs);
        devs = next;
    }
}

hid_device* hid_open_path(const char* path)
{
    return path && std::strcmp(path, device_node) == 0 ? &the_device : nullptr;
}

void hid_close(hid_device*) {}

int hid_get_product_string(hid_device*, wchar_t* string, size_t maxlen)
{
    if (string == nullptr || maxlen == 0) return -1;
    std::wcsncpy(string, L"fuzz bridge", maxlen - 1);
    string[maxlen - 1] = L'\0';
    return 0;
}

int hid_send_feature_report(hid_device*, const unsigned char*, size_t length) { return static_cast<int>(length); }

int hid_write(hid_device*, const unsigned char*, size_t length) { return static_cast<int>(length); }

int hid_read_timeout(hid_device*, unsigned char* data, size_t length, int)
{
    if (next_byte == end_byte) return 0;
    const uint8_t head = *next_byte++;
    if (head == 255) return -1;
    size_t n = head % 65;
    if (n > length) n = length;  // hidapi never returns more than asked
    if (n > static_cast<size_t>(end_byte - next_byte)) n = static_cast<size_t>(end_byte - next_byte);
    std::memcpy(data, next_byte, n);
    next_byte += n;
    if (n > 0) {
        const size_t count = data[0] < n - 1 ? data[0] : n - 1;
        carried.append(reinterpret_cast<const char*>(data + 1), count);
    }
    return static_cast<int>(n);
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) { return hid_read_timeout(dev, data, length, 0); }

}  // extern "C"
