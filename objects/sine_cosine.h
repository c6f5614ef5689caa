#pragma once
// The flies' sine and cosine. The C libraries of the platforms the game runs on give
// results that differ in the last bit for some angles (glibc and Windows' runtime do),
// and a fly that moves a hair differently lands on another pixel a few hundred steps
// later. These are the game's own: plain double arithmetic, the same bits everywhere,
// within one unit in the last place of the exact value.

// Sine and cosine of an angle in radians. Exact to the last bit or one off for
// |radians| up to about 1e5 (the game asks for 0 to 6.3); less accurate beyond, but
// still the same on every platform.
void SineCosine(double radians, double* sine, double* cosine);
