// The input form of the targets that play a device: a first line of
// settings, then one step a line ('\n' ends a line and is never part of
// one); each step is its first character and the text after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct script_step {
    char op;
    std::string text;
};

struct script {
    std::string settings;
    std::vector<script_step> steps;
};

inline script read_script(const uint8_t* data, size_t size)
{
    script s;
    std::string line;
    bool first = true;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '\n') {
            line += static_cast<char>(data[i]);
            continue;
        }
        if (first) s.settings = line;
        else if (!line.empty()) s.steps.push_back({line[0], line.substr(1)});
        first = false;
        line.clear();
    }
    return s;
}

// The number a step's text begins with (0..max), 0 when none.
inline unsigned step_number(const std::string& text, unsigned max)
{
    unsigned n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        n = n * 10 + static_cast<unsigned>(c - '0');
        if (n > max) return max;
    }
    return n;
}
