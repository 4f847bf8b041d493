// Writing a whole file so that a failure never leaves it half-written: the
// bytes go to a temporary file in the same folder, which is flushed and then
// renamed over the target (or beside a target that must not exist yet).
#pragma once

#include <cstddef>
#include <string>

enum class Placement { replace, keep_existing };

// Writes `size` bytes at `data` to `path`. A symbolic link at `path` stays:
// the file it names is replaced (or made). A folder, device, FIFO or socket
// at `path` (or at the end of its links) is refused and left as it was (errno
// EISDIR or ENOTSUP). With keep_existing an existing `path` is never touched
// and the call fails. On failure nothing at `path`
// has changed and no temporary file is left; `error` then says why.
bool write_file_replacing(const std::string& path, const void* data, size_t size,
                          Placement placement = Placement::replace, std::string* error = nullptr);
