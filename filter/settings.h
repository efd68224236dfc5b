// Settings of one filter instance.
//
// The host allocates this record for every instance (its size is the
// instance size the filter definition declares), hands it to each procedure
// and frees it; the filter never allocates, copies or frees it. Fields are in
// the host's order: 32 bytes where pointers are 4 bytes, 40 where they are 8.
#pragma once

#include <cstddef>
#include <cstdint>

struct IFilterPreview; // the host's preview interface, declared by the host adapter

struct FilterSettings {
    IFilterPreview* preview;   // borrowed while the settings dialog runs; stale afterwards
    std::uint8_t showStats;    // nonzero: draw the statistics overlay into every frame
    std::int32_t gainPercent;  // strength of the stretch; 100 is full
    std::int32_t threshold;    // smallest colour range corrected at full strength
    alignas(8) double gamma;   // tone curve parameter; 0.999..1.001 means none
    std::int32_t sCurve;       // nonzero: S-type tone curve instead of the power curve
    std::int32_t bypassTitles; // nonzero: weaken the stretch on frames dominated by one value
};

// showStats is a byte, not a bool: the host's new record may hold any value
// there, and reading a bool that is neither 0 nor 1 is undefined.
static_assert(sizeof(FilterSettings::showStats) == 1, "showStats is one byte");

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FilterSettings) == 32, "the host allocates 32 bytes per instance");
static_assert(offsetof(FilterSettings, preview) == 0, "host layout");
static_assert(offsetof(FilterSettings, showStats) == 4, "host layout");
static_assert(offsetof(FilterSettings, gainPercent) == 8, "host layout");
static_assert(offsetof(FilterSettings, threshold) == 12, "host layout");
static_assert(offsetof(FilterSettings, gamma) == 16, "host layout");
static_assert(offsetof(FilterSettings, sCurve) == 24, "host layout");
static_assert(offsetof(FilterSettings, bypassTitles) == 28, "host layout");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(sizeof(FilterSettings) == 40, "the host allocates 40 bytes per instance");
static_assert(offsetof(FilterSettings, showStats) == 8, "host layout");
static_assert(offsetof(FilterSettings, gainPercent) == 12, "host layout");
static_assert(offsetof(FilterSettings, threshold) == 16, "host layout");
static_assert(offsetof(FilterSettings, gamma) == 24, "host layout");
static_assert(offsetof(FilterSettings, sCurve) == 32, "host layout");
static_assert(offsetof(FilterSettings, bypassTitles) == 36, "host layout");
#endif

// The defaults a new instance starts with, from the settings table. Leaves
// preview and showStats alone: they belong to the host.
void setDefaultSettings(FilterSettings& s);
