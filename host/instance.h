// An instance of the filter as the host keeps it: the record the host
// allocates with the definition's size and hands to every procedure as
// filter_data holds the instance's settings. Every procedure reaches them
// through this one cast.
#pragma once

#include "host_api.h"
#include "settings.h"

inline FilterSettings& settingsOf(const FilterActivation* fa) {
    return *static_cast<FilterSettings*>(fa->filter_data);
}
