#pragma once
// The millisecond clock that every time in the program is read from, and the text that states
// its resolution. Times are long double milliseconds (80-bit on x86-64), so sub-millisecond
// steps survive; every time is the difference of two readings.

#include <cstdint>
#include <string>

// Counter value at the start of the current measurement (nanoseconds of CLOCK_MONOTONIC), and
// the counter's frequency in counts per second. 0 selects the millisecond tick-count fallback.
extern int64_t clockbase, clockfrequency;

// Starts a measurement: clockbase := the counter now, clockfrequency := 1000000000.
void startclock();

// Milliseconds since clockbase: (counter - clockbase) / clockfrequency * 1000. With
// clockfrequency 0 it returns tickcount() instead, which is not relative to clockbase. Reads the
// counter once and allocates nothing, so it may be called for every request event.
long double elapsedms();

// The raw counter: CLOCK_MONOTONIC in nanoseconds.
int64_t clockcounter();

// CLOCK_REALTIME minus CLOCK_MONOTONIC now, in nanoseconds: maps a wall-clock stamp (the kernel's
// receive stamps) onto the counter. Taken from the tightest of a few monotonic readings around a
// wall-clock reading, so it is good to well under a microsecond; sample it again per run, since
// the wall clock may be stepped or slewed.
int64_t realtimeoffset();

// Milliseconds since the system started, as an unsigned 32-bit value (wraps after ~49.7 days).
uint32_t tickcount();

// value rounded to `decimals` places (exact halves to even) in the shortest form: no trailing
// zeros, no trailing decimal point, no exponent, never "-0". The separator is the user's
// (localedecimalpoint()) or the one given.
std::string formatshortest(long double value, int decimals);
std::string formatshortest(long double value, int decimals, char decimalpoint);

// Decimal separator of the user's locale (std::locale("")), "." when it has none or is invalid.
char localedecimalpoint();

// "Time measurement resolution: R µsec (=1/1000 msec), clock runs at FMHz" with R = 1e6 /
// frequency to 6 decimals and F = frequency / 1e6 rounded half to even. The micro sign is UTF-8
// (U+00B5). A frequency of 0 or less means the tick-count fallback: R is 1000, F is 0 and
// " (millisecond tick count)" follows "MHz".
std::string resolutionline(int64_t frequency);
std::string resolutionline(int64_t frequency, char decimalpoint);
