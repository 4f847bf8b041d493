// The standard drag curves G1 and G7 (made at build time from data/*.tsv)
// and drag-coefficient lookup on any curve of rising Mach numbers.
#pragma once

struct drag_point {
    double mach;
    double cd;
};

extern const drag_point g1_drag_points[];
extern const int g1_drag_count;
extern const drag_point g7_drag_points[];
extern const int g7_drag_count;

// The coefficient at `mach`, linear between points, held at the first and
// last point beyond them. `n` >= 1; the points' Mach numbers rise.
double drag_at(const drag_point* points, int n, double mach);
