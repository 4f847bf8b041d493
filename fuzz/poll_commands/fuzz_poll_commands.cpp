// The receive poll on the bridge carrier with commands sent from inside a
// delivery: the line handler sends commands while the simulated bridge
// acknowledges them or not, as the input says. No handler may run inside
// another, nothing may crash or hang, and once the link is quiet a line is
// handed on at once.
//
// Input (script.h): the first line is the firmware version the bridge
// reports ("1.12.3"; empty: none). Steps:
//   T<text>  the meter sends the line <text>\r (a kind-0 frame)
//   B<bytes> raw bytes from the bridge, frames or not
//   A<n>     the next n commands go unacknowledged
//   K<text>  no acknowledgement for the next command so beginning
//   C        the next frame from the meter carries a bad CRC
//   P<n>     n + 1 polls
//   W<n>     n ms pass
//   S<text>  the program sends <text>\r from outside the poll
//   H<text>  the handler sends <text>\r on a later line (queued, in order)
//   E        the handler also acknowledges every line (":AK" from 1.12001 on)
#include "fuzz_support.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/platform/bridge_defs.h"
#include "link/platform/hid_uart.h"
#include "profile/gun_profile.h"
#include "script.h"
#include "sim_bridge.h"

#include <deque>
#include <string>
#include <vector>

namespace {

int handler_depth = 0;
size_t lines_handled = 0;
std::deque<std::string> replies;
bool acknowledge_each = false;
std::vector<std::string> handled;  // since the link went quiet

void handle_line(const char* line)
{
    FUZZ_CHECK(handler_depth == 0, "a line handler ran inside another");
    ++handler_depth;
    ++lines_handled;
    handled.push_back(line);
    if (acknowledge_each) acknowledge_line();
    if (!replies.empty()) {
        const std::string command = replies.front();
        replies.pop_front();
        send_command(command.c_str());
    }
    --handler_depth;
}

void connect(const std::string& version)
{
    link_reset();
    sim_bridge_reset();
    if (!version.empty()) sim_bridge_set_version(version);
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, "FUZZ1");
    sim_meter_store(sim_bridge().meter, 1, p);
    set_profile_name(p, "FUZZ2");
    sim_meter_store(sim_bridge().meter, 2, p);
    FUZZ_CHECK(hid_connect_link().ok(), "the simulated bridge did not open");
    // The simulated bridge answers at once: a read need not wait its 1 ms
    // for bytes that are not coming (it would cost a millisecond a poll).
    HidUart_SetTimeouts(the_link().hid_device, 0, bridge_write_timeout_ms);
    // The meter's first answers (its version) arrive with the first poll.
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    link_use(link_callbacks_default());
    the_link().calls.sleep_ms = [](unsigned ms) { sim_bridge_advance(ms); };
    the_link().calls.line_handler = handle_line;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const script s = read_script(data, size);
    replies.clear();
    acknowledge_each = false;
    handler_depth = 0;
    lines_handled = 0;
    connect(s.settings.substr(0, 10));
    sim_bridge_state& b = sim_bridge();

    for (const script_step& step : s.steps) {
        switch (step.op) {
        case 'T': sim_bridge_send_text(step.text + "\r"); break;
        case 'B': sim_bridge_send_raw(reinterpret_cast<const uint8_t*>(step.text.data()), step.text.size()); break;
        case 'A': b.acks_to_skip = static_cast<int>(step_number(step.text, 200)); break;
        case 'K': b.skip_ack_for = step.text; break;
        case 'C': b.corrupt_next = true; break;
        case 'P':
            for (unsigned n = step_number(step.text, 20) + 1; n > 0; --n) receive_poll();
            break;
        case 'W': sim_bridge_advance(step_number(step.text, 10000)); break;
        case 'S': send_command((step.text + "\r").c_str()); break;
        case 'H': replies.push_back(step.text + "\r"); break;
        case 'E': acknowledge_each = true; break;
        default: break;
        }
    }

    // Let the link go quiet: the meter's waits run out on its clock.
    for (int i = 0; i < 400; ++i) {
        const size_t before = lines_handled;
        sim_bridge_advance(10);
        receive_poll();
        if (lines_handled == before && b.uart_tx.empty() && b.meter.queue.empty()) break;
    }
    FUZZ_CHECK(handler_depth == 0, "a handler did not return");
    handled.clear();
    deliver_line(":AQ\r");
    // The line goes first. A command its handler sends may draw answers from
    // the meter, which the wait for the command's acknowledgement reads and
    // hands on after it.
    FUZZ_CHECK(!handled.empty() && handled[0] == ":AQ\r", "a line on a quiet link was not handed on");
    return 0;
}
