// The soak's profiles: random but valid records (names, values, twist signs,
// drag codes), and what a device of each kind gives back of one, as the lines
// the protocol carries.
#pragma once

#include "profile/gun_profile.h"

#include <random>
#include <string>

// A record that an upload sends as it is: every value inside the width of
// its field. `tag` (at most 46655) makes the name unique; names carry at most
// `max_name` characters (10 on the meters, whose downloads keep 10).
GunProfile random_profile(std::mt19937& rng, int tag, size_t max_name);

// The record as the device gives it back: a meter below firmware 1.12001
// carries no zero offsets; form 3, or on the meters a main line of 182
// characters or fewer, no scope factors.
GunProfile carried_profile(GunProfile p, bool relay, float version);

// The five lines of `p` for that device, joined: two records carry the same
// in every field the protocol carries when these are equal.
std::string carried_lines(const GunProfile& p, bool relay, float version);
