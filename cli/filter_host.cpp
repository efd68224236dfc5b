#include "filter_host.h"

#include <cstring>
#include <stdexcept>

#include "settings.h"

namespace {

// Where addFilter puts the host's copy of the definition while a
// registration is under way (the callback has no context argument).
FilterDefinition* registeredCopy = nullptr;

FilterDefinition* VELMOR_CDECL addFilter(FilterModule* module, FilterDefinition* definition,
                                         int size) {
    if (registeredCopy == nullptr || size != static_cast<int>(sizeof(FilterDefinition)))
        return nullptr;
    std::memcpy(registeredCopy, definition, sizeof(FilterDefinition));
    registeredCopy->module = module;
    return registeredCopy;
}

void VELMOR_CDECL removeFilter(FilterDefinition*) {}

} // namespace

FilterHost::FilterHost() {
    functions_.addFilter = addFilter;
    functions_.removeFilter = removeFilter;
    registeredCopy = &definition_;
    int version = 0, compatible = 0;
    const int failed = VirtualdubFilterModuleInit2(&module_, &functions_, &version, &compatible);
    registeredCopy = nullptr;
    if (failed) throw std::runtime_error("the filter refused to register");
    registered_ = &definition_;

    const std::size_t size = static_cast<std::size_t>(definition_.inst_data_size);
    record_.assign((size + 7) / 8, 0);
    activation_.filter = registered_;
    activation_.filter_data = record_.data();
    activation_.src = &bitmap_;
    activation_.dst = &bitmap_; // in place: source and destination are the same pixels
    definition_.initProc(&activation_, &functions_);
}

FilterHost::~FilterHost() {
    if (started_) definition_.endProc(&activation_, &functions_);
    VirtualdubFilterModuleDeinit(&module_, &functions_);
}

void FilterHost::configure(const ConfigValues& v) {
    ScriptValue arguments[5] = {};
    const std::int32_t values[5] = {v.gainPercent, v.threshold, v.gammaHundredths, v.sCurve,
                                    v.bypassTitles};
    for (int i = 0; i < 5; ++i) arguments[i].asInt = values[i];
    const ScriptFunctionEntry& config = definition_.script_obj->functions[0];
    config.function(nullptr, &activation_, arguments, 5);
}

void FilterHost::setShowStats(bool on) {
    static_cast<FilterSettings*>(activation_.filter_data)->showStats = on ? 1 : 0;
}

std::string FilterHost::scriptForm() {
    char text[128] = {};
    definition_.fssProc(&activation_, &functions_, text, static_cast<int>(sizeof text));
    return text;
}

std::string FilterHost::summary() {
    char text[128] = {};
    definition_.stringProc(&activation_, &functions_, text);
    return text;
}

void FilterHost::start(std::int32_t width, std::int32_t height) {
    bitmap_.w = width;
    bitmap_.h = height;
    bitmap_.pitch = -static_cast<std::ptrdiff_t>(width) * 4;
    definition_.paramProc(&activation_, &functions_);
    definition_.startProc(&activation_, &functions_);
    started_ = true;
}

void FilterHost::runFrame(std::uint8_t* topDown) {
    // Memory row 0 is the bottom row of the picture: the last row of the buffer.
    bitmap_.data = topDown + static_cast<std::ptrdiff_t>(bitmap_.h - 1) * -bitmap_.pitch;
    definition_.runProc(&activation_, &functions_);
}
