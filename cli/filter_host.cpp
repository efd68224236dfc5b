// The command-line host of the filter for raw frames; see filter_host.h.
#include "filter_host.h"

#include <stdexcept>

#include "frame_run.h"
#include "options.h"

FilterHost::FilterHost() {
    library_.open();
    host_ = std::make_unique<PluginHost>(library_);
    int version = 0, compatible = 0;
    if (host_->load(&version, &compatible) != 0)
        throw std::runtime_error("the filter refused to register");
    instance_ = std::make_unique<PluginInstance>(*host_);
    instance_->init();
}

FilterHost::~FilterHost() {
    if (started_) instance_->end();
    instance_.reset();
    host_->unload();
}

void FilterHost::configure(const ScriptNumbers& v) {
    instance_->scriptConfig(v.value[0], v.value[1], v.value[2], v.value[3], v.value[4]);
}

void FilterHost::setShowStats(bool on) {
    instance_->settings().showStats = on ? 1 : 0;
}

FilterSettings& FilterHost::settings() {
    return instance_->settings();
}

std::string FilterHost::scriptForm() {
    return instance_->scriptForm();
}

std::string FilterHost::summary() {
    return instance_->summary();
}

void FilterHost::start(std::int32_t width, std::int32_t height) {
    width_ = width;
    height_ = height;
    instance_->setFrame(nullptr, width, height, -static_cast<std::ptrdiff_t>(width) * 4);
    instance_->param();
    instance_->start();
    started_ = true;
}

// The frame as the host sees it: memory row 0 is the bottom row of the
// picture, the last row of the buffer, and rows go up by a negative pitch.
FrameView FilterHost::bottomUp(std::uint8_t* topDown) const {
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(width_) * 4;
    return {reinterpret_cast<FramePixel*>(topDown + static_cast<std::ptrdiff_t>(height_ - 1) * row),
            width_, height_, -row};
}

void FilterHost::runFrameZeroingAlpha(std::uint8_t* topDown, Smoothing* smoothing) {
    const FrameView view = bottomUp(topDown);
    ::runFrame(instance_->settings(), view, view, OverlayPeaks::lastComputed, FourthByte::zeroed,
               smoothing);
}

void FilterHost::runFrame(std::uint8_t* topDown, Smoothing* smoothing) {
    const FrameView view = bottomUp(topDown);
    if (smoothing != nullptr) { // what the run procedure does, with the smoothing beside it
        ::runFrame(instance_->settings(), view, view, OverlayPeaks::lastComputed,
                   FourthByte::channel, smoothing);
        return;
    }
    instance_->setFrame(reinterpret_cast<std::uint8_t*>(view.data), view.width, view.height,
                        view.pitch);
    instance_->run();
}

std::unique_ptr<FilterHost> makeHost(const Options& o) {
    auto host = std::make_unique<FilterHost>();
    const UserSettings& s = o.settings;
    if (s.line) {
        host->configure(mergedLine(s)); // as a saved script's Config call
    } else {
        storeGivenSettings(s, host->settings()); // the rest as the filter's init left it
    }
    host->setShowStats(o.stats);
    return host;
}

FilterSettings settingsFromOptions(const Options& o) {
    FilterSettings s{};
    setDefaultSettings(s);
    if (o.settings.line)
        storeScriptNumbers(mergedLine(o.settings), s);
    else
        storeGivenSettings(o.settings, s);
    return s;
}
