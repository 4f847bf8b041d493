#include "sim_meter.h"

#include "link/line_checksum.h"

#include <cstdlib>
#include <cstring>

int sim_kind_baud(sim_kind kind)
{
    switch (kind) {
    case sim_kind::cv_relay: return 115200;
    case sim_kind::m900: return 38400;
    default: return 9600;
    }
}

const char* sim_kind_name(sim_kind kind)
{
    switch (kind) {
    case sim_kind::cv_relay: return "cv-relay";
    case sim_kind::m900: return "m900";
    default: return "m600";
    }
}

int sim_kind_profile_limit(sim_kind kind) { return kind == sim_kind::cv_relay ? 34 : 30; }

transfer_style sim_kind_style(sim_kind kind)
{
    return kind == sim_kind::cv_relay ? transfer_style::indexed : transfer_style::bulk;
}

namespace {

const char* const kEnd = ":AS\r";

bool starts_with(const std::string& line, const char* prefix)
{
    return line.compare(0, std::strlen(prefix), prefix) == 0;
}

// The number after the comma of ":AU,nn" or ":AD,nn"; 0 when there is none.
int number_after_comma(const std::string& line)
{
    const size_t comma = line.find(',');
    if (comma == std::string::npos) return 0;
    const char* text = line.c_str() + comma + 1;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return end == text || n < 0 || n > 1000 ? 0 : static_cast<int>(n);
}

bool has_checksum_suffix(const std::string& line)
{
    const size_t n = line.size();
    return n >= 5 && line[n - 1] == '\r' && line[n - 4] == ' ';
}

GunProfile record_of(const sim_meter& m, const profile_line_set& l)
{
    GunProfile p{};
    begin_received_profile(p, l.name.c_str());
    read_main_line(p, l.main.c_str(), sim_kind_style(m.kind), m.version);
    read_mv_table_line(p, l.mv_table.c_str());
    read_drag_line(p, l.drag.c_str());
    read_mach_line(p, l.mach.c_str());
    return p;
}

void reject(sim_meter& m, const std::string& why)
{
    m.rejected.push_back({m.pending.slot, m.pending.received, why});
    m.pending = sim_meter::upload{};
    m.receiving = false;
}

// The end of an upload's profile: stored when it is whole and sound.
void finish_profile(sim_meter& m)
{
    sim_meter::upload& u = m.pending;
    std::string missing;
    const std::pair<const char*, const std::string*> parts[] = {
        {":AN", &u.lines.name}, {":AP", &u.lines.main}, {":AV", &u.lines.mv_table},
        {":AC", &u.lines.drag}, {":AM", &u.lines.mach}};
    for (const auto& [prefix, line] : parts)
        if (line->empty()) missing += std::string(missing.empty() ? "" : " ") + prefix;
    if (u.slot == 0) return reject(m, "no slot line (:AU) before it");
    if (u.slot > sim_kind_profile_limit(m.kind))
        return reject(m, "slot " + std::to_string(u.slot) + " is beyond the device's " +
                             std::to_string(sim_kind_profile_limit(m.kind)));
    if (!missing.empty()) return reject(m, "lines missing: " + missing);
    if (!u.bad.empty()) return reject(m, "bad checksum on " + std::to_string(u.bad.size()) + " line(s)");
    const int slot = u.slot;
    sim_meter_store_lines(m, slot, u.lines);
    m.pending = sim_meter::upload{};
    m.receiving = false;
    if (m.on_store) m.on_store(slot, m.profiles[slot]);
}

void take_upload_line(sim_meter& m, const std::string& line)
{
    if (!m.receiving) {
        m.receiving = true;
        m.pending = sim_meter::upload{};
    }
    sim_meter::upload& u = m.pending;
    u.received.push_back(line);
    std::string* slot = nullptr;
    if (starts_with(line, ":AN")) slot = &u.lines.name;
    else if (starts_with(line, ":AP")) slot = &u.lines.main;
    else if (starts_with(line, ":AV")) slot = &u.lines.mv_table;
    else if (starts_with(line, ":AC")) slot = &u.lines.drag;
    else if (starts_with(line, ":AM")) slot = &u.lines.mach;
    if (slot == nullptr) return;
    *slot = line;
    if (slot != &u.lines.name && line_checksum_bad(line.c_str())) {
        u.bad.push_back(line);
        m.bad_checksum_lines.push_back(line);
    }
}

void queue_line(sim_meter& m, std::string line, bool wants_ack = true)
{
    m.queue.push_back({std::move(line), wants_ack});
}

void serve_slot(sim_meter& m, int slot)
{
    auto it = m.profiles.find(slot);
    if (it == m.profiles.end()) {
        queue_line(m, ":AN,INVALID\r");
        queue_line(m, kEnd, false);  // the program does not acknowledge it
        return;
    }
    const profile_line_set& l = it->second.lines;
    for (const std::string* line : {&l.name, &l.main, &l.mv_table, &l.drag, &l.mach}) queue_line(m, *line);
    queue_line(m, kEnd);
}

}  // namespace

bool sim_meter_store(sim_meter& m, int slot, const GunProfile& p, std::string* why)
{
    if (slot < 1 || slot > sim_kind_profile_limit(m.kind)) {
        if (why) *why = "no such slot on this device";
        return false;
    }
    profile_line_set lines;
    if (!build_profile_lines(p, m.kind == sim_kind::cv_relay, m.version, &lines, why)) return false;
    sim_meter_store_lines(m, slot, lines);
    return true;
}

void sim_meter_store_lines(sim_meter& m, int slot, const profile_line_set& lines)
{
    m.profiles[slot] = sim_stored_profile{lines, record_of(m, lines)};
}

void sim_meter_receive(sim_meter& m, const std::string& line, double now_ms)
{
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    if (text.empty()) return;
    if (text == ":AK") {
        if (m.waiting) {
            m.waiting = false;
            m.waiting_since = now_ms;
        }
    } else if (text == ":AD") {
        queue_line(m, count_line(static_cast<int>(m.profiles.size())));
        for (const auto& entry : m.profiles) serve_slot(m, entry.first);
    } else if (starts_with(text, ":AD,")) {
        serve_slot(m, number_after_comma(text));
    } else if (starts_with(text, ":AG")) {
        if (m.receiving) reject(m, "cut off by a new count (:AG)");
        m.profiles.clear();
        m.announced = number_after_comma(text);
    } else if (starts_with(text, ":AU")) {
        if (m.receiving) reject(m, "no end (:AS) before the next slot line");
        m.receiving = true;
        m.pending = sim_meter::upload{};
        m.pending.slot = number_after_comma(text);
        m.pending.received.push_back(line);
    } else if (starts_with(text, ":AS")) {
        if (!m.receiving) {
            m.rejected.push_back({0, {line}, "an end (:AS) without a profile"});
            return;
        }
        m.pending.received.push_back(line);
        finish_profile(m);
    } else if (starts_with(text, ":AN") || starts_with(text, ":AP") || starts_with(text, ":AV") ||
               starts_with(text, ":AC") || starts_with(text, ":AM")) {
        take_upload_line(m, line);
    }
    // ":A-", ":AQ" and anything else: nothing to do, nothing to answer.
}

std::vector<sim_meter_output> sim_meter_take(sim_meter& m, double now_ms)
{
    std::vector<sim_meter_output> out;
    while (!m.queue.empty()) {
        if (m.waiting) {
            if (now_ms - m.waiting_since < m.ack_timeout_ms) break;
            m.waiting = false;
            ++m.ack_timeouts;
        }
        sim_meter::queued q = std::move(m.queue.front());
        m.queue.pop_front();
        if (m.silent_after == 0) continue;
        if (m.silent_after > 0) --m.silent_after;

        sim_meter_output item{q.line};
        bool lost = false;
        for (size_t i = 0; i < m.faults.size();) {
            sim_line_fault& f = m.faults[i];
            const bool aims = starts_with(q.line, f.prefix.c_str()) &&
                              (f.what != sim_fault::bad_checksum || has_checksum_suffix(q.line));
            if (!aims || --f.nth > 0) {
                ++i;
                continue;
            }
            switch (f.what) {
            case sim_fault::bad_checksum: {
                char& digit = item.bytes[item.bytes.size() - 2];
                digit = digit == '0' ? '1' : '0';
                break;
            }
            case sim_fault::lose: lost = true; break;
            case sim_fault::garbage: out.push_back({sim_noise(f.garbage_bytes, f.seed), true, false}); break;
            case sim_fault::bad_frame: item.bad_frame = true; break;
            }
            m.faults.erase(m.faults.begin() + static_cast<long>(i));
        }
        if (!lost) {
            m.sent.push_back(item.bytes);
            out.push_back(std::move(item));
        }
        if (m.acks && q.wants_ack) {
            m.waiting = true;
            m.waiting_since = now_ms;
        }
    }
    return out;
}

std::string sim_noise(size_t n, unsigned seed)
{
    std::string noise;
    unsigned x = seed * 2654435761u + 1;
    while (noise.size() < n) {
        x = x * 1103515245u + 12345u;
        const char c = static_cast<char>((x >> 16) & 0xFF);
        if (c == '\0' || c == '\r' || c == '\n') continue;
        noise.push_back(c);
    }
    return noise;
}

void sim_wire_put(sim_wire& w, const std::string& bytes, int baud, double now_ms)
{
    const double byte_ms = baud > 0 ? 10000.0 / baud : 0.0;  // ten bits a byte
    double at = w.free_at > now_ms ? w.free_at : now_ms;
    for (char c : bytes) {
        at += byte_ms;
        w.bytes.emplace_back(c, at);
    }
    w.free_at = at;
}

std::string sim_wire_take(sim_wire& w, double now_ms, std::vector<double>* times)
{
    std::string out;
    while (!w.bytes.empty() && w.bytes.front().second <= now_ms) {
        out.push_back(w.bytes.front().first);
        if (times) times->push_back(w.bytes.front().second);
        w.bytes.pop_front();
    }
    return out;
}
