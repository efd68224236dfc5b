// A host for the plug-in, as the video host meets it: it finds the two entry
// points (on Windows in the plug-in file, loaded by path; elsewhere linked
// in), keeps its own copy of the registered definition, allocates each
// instance record with the declared size (not zeroed, as the host's are
// not) and calls every procedure through the copy. The command-line program
// runs frames through it; the tests also read what its functions saw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "frame.h"
#include "host_api.h"
#include "settings.h"

using ModuleInit2 = decltype(&VirtualdubFilterModuleInit2);
using ModuleDeinit = decltype(&VirtualdubFilterModuleDeinit);

// The plug-in library's entry points.
struct PluginLibrary {
    void* handle = nullptr; // the module handle; null where the adapter is linked in
    ModuleInit2 init2 = nullptr;
    ModuleDeinit deinit = nullptr;
    std::string error; // why opening failed

    // Windows: loads the file at `path` (empty: the plug-in beside this
    // program). Elsewhere: the linked-in entry points; `path` is unused.
    bool open(const std::string& path = "");
};

// What the host's functions saw, for the tests that check registration; a
// host keeps no record unless given one.
struct HostCallLog {
    bool refuseRegistration = false; // addFilter returns null
    int addCalls = 0;
    int addSize = -1;
    FilterModule* addModule = nullptr;
    const FilterDefinition* offered = nullptr; // the library's own definition
    int removeCalls = 0;
    const FilterDefinition* removed = nullptr;
};

class PluginHost {
public:
    explicit PluginHost(const PluginLibrary& library);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // The module init and deinit calls, with this host's module record and functions.
    int load(int* version, int* compat);
    void unload();

    const FilterDefinition* registered() const { return copy_.get(); }

    FilterModule module{}; // the host's record of the plug-in library
    FilterFunctions functions{};
    HostCallLog* log = nullptr;

private:
    static FilterDefinition* VELMOR_CDECL addFilter(FilterModule* module,
                                                    FilterDefinition* definition, int size);
    static void VELMOR_CDECL removeFilter(FilterDefinition* registered);
    static PluginHost* current_; // the callbacks carry no context: one registration at a time

    const PluginLibrary& library_;
    std::unique_ptr<FilterDefinition> copy_;
    bool loaded_ = false;
};

constexpr std::uint8_t kHostGarbage = 0xCD; // what a new instance record holds

// One filter instance: its record, its activation, and the procedure calls.
class PluginInstance {
public:
    explicit PluginInstance(const PluginHost& host);

    int init() { return def_.initProc(&fa, &host_.functions); }
    int run() const { return def_.runProc(&fa, &host_.functions); }
    long param() { return def_.paramProc(&fa, &host_.functions); }
    int start() { return def_.startProc(&fa, &host_.functions); }
    int end() { return def_.endProc(&fa, &host_.functions); }
    int config(IFilterPreview* preview, WindowHandle parent);
    std::string summary() const;    // stringProc into a 32-byte buffer
    std::string scriptForm() const; // fssProc into a roomy buffer
    // Calls the script function "Config" from script_obj's list, with the
    // values laid out as the host lays them out.
    void scriptConfig(std::int32_t gain, std::int32_t threshold, std::int32_t gammaHundredths,
                      std::int32_t sCurve, std::int32_t bypassTitles);

    // Source and destination both describe these pixels (memory row 0 first).
    void setFrame(std::uint8_t* data, std::int32_t width, std::int32_t height,
                  std::ptrdiff_t pitch);
    // Source and destination bitmaps of their own.
    void setFrames(const FrameView& source, const FrameView& destination);

    FilterSettings& settings() { return *static_cast<FilterSettings*>(fa.filter_data); }
    std::vector<std::uint8_t> recordBytes() const;
    // Whether the bytes just past the declared instance size still hold garbage.
    bool guardIntact() const;
    const FilterDefinition& definition() const { return def_; }

    FilterActivation fa{};
    VBitmap src{};
    VBitmap dst{};

private:
    const PluginHost& host_;
    const FilterDefinition& def_;
    std::size_t size_;
    struct Free {
        void operator()(void* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> record_; // from malloc, like the host's, with a guard after
};
