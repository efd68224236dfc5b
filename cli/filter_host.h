// The command-line program's side of the plug-in interface (raw frames and
// --print-config): it plays the
// host, exactly as the video host drives the filter, so that options and
// saved scripts mean the same here and there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config_line.h"
#include "plugin_host.h"

struct Smoothing;

class FilterHost {
  public:
    // Registers the filter (VirtualdubFilterModuleInit2), creates one
    // instance of the declared size and runs its init procedure. Throws
    // std::runtime_error if registration is refused.
    FilterHost();
    ~FilterHost(); // end procedure if started, then VirtualdubFilterModuleDeinit
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    void configure(const ScriptNumbers& values); // through the script function "Config"
    void setShowStats(bool on);                 // the host's own byte in the record
    FilterSettings& settings();                 // the instance's record, as the dialog sets it
    std::string scriptForm();                   // the script-form procedure's text
    std::string summary();                      // the summary procedure's text

    // Parameter and start procedures, for frames of this size.
    void start(std::int32_t width, std::int32_t height);
    // Runs one frame in place: `topDown` holds height rows of width BGRA
    // pixels, top row first; the filter sees it bottom-up, as the host
    // stores pictures, through a negative pitch. With `smoothing`, the
    // frame run the plug-in makes, with the running clip points beside it
    // (the plug-in's own procedures know no smoothing).
    void runFrame(std::uint8_t* topDown, Smoothing* smoothing = nullptr);
    // The same for frames whose fourth bytes the host would have cleared
    // (ffmpeg's bgra carries 255 there): the very run the plug-in makes on
    // such a frame with its fourth bytes 0, with this instance's settings,
    // in one pass instead of a clearing pass first.
    void runFrameZeroingAlpha(std::uint8_t* topDown, Smoothing* smoothing = nullptr);

  private:
    FrameView bottomUp(std::uint8_t* topDown) const;

    PluginLibrary library_;
    std::unique_ptr<PluginHost> host_;
    std::unique_ptr<PluginInstance> instance_;
    std::int32_t width_ = 0, height_ = 0;
    bool started_ = false;
};

struct Options;
struct Smoothing;

// The plug-in as the options set it: a script line through its script
// function, or the given settings over the init's defaults.
std::unique_ptr<FilterHost> makeHost(const Options& o);

// The settings as the options give them, stored as the dialog and the
// script function store them: for frames the plug-in's host cannot carry.
FilterSettings settingsFromOptions(const Options& o);
