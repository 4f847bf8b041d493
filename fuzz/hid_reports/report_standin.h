// A hidapi stand-in that answers reads with input reports taken from the
// fuzz input, malformed ones included (a count byte beyond the report, an
// empty report, a read error), unlike the tests' simulated bridge, which
// only ever builds well-formed ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reports come from `data`: each is one length byte (255: the read fails;
// otherwise the report has length % 65 bytes, the first its count byte)
// followed by its bytes. When they run out, reads time out.
void report_standin_load(const uint8_t* data, size_t size);
// The data bytes the reports handed out so far carry as the bridge defines
// them: the first min(count, length - 1) bytes after the count byte.
const std::string& report_standin_carried();
bool report_standin_exhausted();
