// The filter as a frei0r plug-in (velmor.so), for ffmpeg, MLT and GStreamer.
//
// A frei0r frame is packed BGRA, rows width * 4 bytes apart, top row first,
// and its fourth byte is the host's alpha (255 where the picture is opaque).
// The filter corrects frames as the video host presents them: alpha 0 and
// the bottom row first in memory. So each frame is
//   1. copied to the output with the fourth byte cleared,
//   2. run through the frame run in place, seen bottom-up: the view's base
//      is the last row and its pitch is negative, so the statistics overlay
//      lands on the host's picture rows,
//   3. given back each input pixel's fourth byte exactly.
// The view holds the first round(picture width * frame width) columns of
// every row: a caller that padded its frames to a width the host passes
// unshifted says how much of each row is picture, and only that part is
// measured and corrected; the padding comes out as it came in.
//
// Each instance keeps its own parameters and scratch, so hosts may run
// instances on several threads at once (MLT does); the frame run itself
// lets frame runs take turns over the core's shared tables.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "adapter.h"
#include "config_line.h"
#include "frame_run.h"
#include "frei0r_api.h"
#include "params.h"
#include "settings.h"
#include "velmor_version.h"

namespace {

struct Instance {
    std::int32_t width;
    std::int32_t height;
    double values[kParamCount]; // numbers and switches as the host set them
    std::string config;         // the script line as set
    bool configValid;           // it parses: it gives the five settings
    ConfigValues configValues;
    std::vector<std::uint32_t> alpha; // the input's fourth bytes, for in-place calls only
};

// The five settings from the script line when it is valid, else from the
// numeric parameters; the overlay switch always from its own parameter.
FilterSettings instanceSettings(const Instance& in) {
    FilterSettings s{};
    if (in.configValid) {
        // Stored exactly as a script's Config call stores them, by the
        // script function itself.
        ScriptValue arguments[5] = {};
        arguments[0].asInt = in.configValues.gainPercent;
        arguments[1].asInt = in.configValues.threshold;
        arguments[2].asInt = in.configValues.gammaHundredths;
        arguments[3].asInt = in.configValues.sCurve;
        arguments[4].asInt = in.configValues.bypassTitles;
        FilterActivation activation{};
        activation.filter_data = &s;
        configScriptFunction(nullptr, &activation, arguments, 5);
    } else {
        s.gainPercent = gainFromParam(in.values[kParamGain]);
        s.threshold = thresholdFromParam(in.values[kParamThreshold]);
        s.gamma = gammaFromParam(in.values[kParamGamma]);
        s.sCurve = switchFromParam(in.values[kParamSCurve]) ? 1 : 0;
        s.bypassTitles = switchFromParam(in.values[kParamBypassTitles]) ? 1 : 0;
    }
    s.showStats = switchFromParam(in.values[kParamStatistics]) ? 1 : 0;
    return s;
}

// The word whose bytes are 255, 255, 255, 0 in memory: the colour bytes of a
// pixel, whatever the byte order of the machine.
std::uint32_t colourMask() {
    const std::uint8_t bytes[4] = {255, 255, 255, 0};
    std::uint32_t mask;
    std::memcpy(&mask, bytes, 4);
    return mask;
}

} // namespace

extern "C" {

int f0r_init() {
    return 1;
}

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    // The display name with its '+' spelled out: GStreamer makes element
    // names of it (frei0r-filter-velmor-filter-plus), and its pipeline syntax
    // has no '+'.
    info->name = "Velmor Filter Plus";
    info->author = "tal_ovek";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = VELMOR_VERSION_MAJOR; // the project's version, kept in one place
    info->minor_version = VELMOR_VERSION_MINOR;
    info->num_params = kParamCount;
    info->explanation = "Automatically adjusts the static picture";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (index < 0 || index >= kParamCount) return;
    info->name = kFrei0rParams[index].name;
    info->type = kFrei0rParams[index].type;
    info->explanation = kFrei0rParams[index].explanation;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    // The frame run counts in 32-bit sizes; a frame beyond them is refused.
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return nullptr;
    Instance* in = new (std::nothrow) Instance{};
    if (in == nullptr) return nullptr;
    in->width = static_cast<std::int32_t>(width);
    in->height = static_cast<std::int32_t>(height);
    for (int i = 0; i < kParamCount; ++i) in->values[i] = kFrei0rParams[i].defaultValue;
    return in;
}

void f0r_destruct(f0r_instance_t instance) {
    delete static_cast<Instance*>(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    Instance* in = static_cast<Instance*>(instance);
    if (in == nullptr || param == nullptr || index < 0 || index >= kParamCount) return;
    if (index != kParamConfig) {
        in->values[index] = *static_cast<const double*>(param);
        return;
    }
    const char* text = *static_cast<const f0r_param_string*>(param);
    const std::string line = text != nullptr ? text : "";
    if (line == in->config) return; // hosts set every parameter before every frame
    in->config = line;
    in->configValid = parseConfigLine(line, in->configValues);
    if (!in->configValid && line.find_first_not_of(" \t\r\n") != std::string::npos)
        std::fprintf(stderr,
                     "velmor: config '%s' is not a script line Config(gain, threshold, gamma, "
                     "s-curve, bypass titles) with five whole numbers; using the other "
                     "parameters\n",
                     line.c_str());
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    const Instance* in = static_cast<const Instance*>(instance);
    if (in == nullptr || param == nullptr || index < 0 || index >= kParamCount) return;
    if (index == kParamConfig)
        *static_cast<f0r_param_string*>(param) = const_cast<char*>(in->config.c_str());
    else
        *static_cast<double*>(param) = in->values[index];
}

void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe, uint32_t* outframe) {
    Instance* in = static_cast<Instance*>(instance);
    if (in == nullptr || in->width == 0 || in->height == 0) return;
    const std::size_t count = static_cast<std::size_t>(in->width) * in->height;
    const std::uint32_t colour = colourMask();
    const std::uint32_t* alpha = inframe;
    if (inframe == outframe) { // the input's alpha is about to be cleared: keep it
        try {
            in->alpha.assign(inframe, inframe + count);
        } catch (const std::bad_alloc&) {
            return; // the frame passes unchanged
        }
        alpha = in->alpha.data();
    }
    for (std::size_t i = 0; i < count; ++i) outframe[i] = inframe[i] & colour;

    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(in->width) * 4;
    FrameView view;
    view.data = reinterpret_cast<FramePixel*>(reinterpret_cast<std::uint8_t*>(outframe) +
                                              (in->height - 1) * rowBytes);
    view.width = unitToSteps(in->values[kParamPictureWidth], in->width);
    view.height = in->height;
    view.pitch = -rowBytes;
    const FilterSettings settings = instanceSettings(*in);
    runFrame(settings, view, view);

    for (std::size_t i = 0; i < count; ++i)
        outframe[i] = (outframe[i] & colour) | (alpha[i] & ~colour);
}

} // extern "C"
