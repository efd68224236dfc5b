// The plug-in host: registration, instances and their procedures.
#include "plugin_host.h"

#include "velmor_version.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#endif

bool PluginLibrary::open(const std::string& path) {
#if defined(_WIN32)
    std::string file = path;
    if (file.empty()) { // beside this program, as the host finds its plug-in folder
        char self[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) {
            error = "cannot find this program's path";
            return false;
        }
        file.assign(self, n);
        file.erase(file.find_last_of("\\/") + 1);
        file += VELMOR_PLUGIN_FILE;
    }
    HMODULE module = LoadLibraryA(file.c_str());
    if (module == nullptr) {
        error = "LoadLibraryA failed for " + file;
        return false;
    }
    handle = module;
    // GetProcAddress returns a generic function pointer; the names carry no
    // decoration, and the types are the declared ones.
    init2 = reinterpret_cast<ModuleInit2>(
        reinterpret_cast<void*>(GetProcAddress(module, "VirtualdubFilterModuleInit2")));
    deinit = reinterpret_cast<ModuleDeinit>(
        reinterpret_cast<void*>(GetProcAddress(module, "VirtualdubFilterModuleDeinit")));
    if (init2 == nullptr || deinit == nullptr) {
        error = "an entry point is missing from " + file;
        return false;
    }
#else
    (void)path;
    handle = nullptr;
    init2 = &VirtualdubFilterModuleInit2;
    deinit = &VirtualdubFilterModuleDeinit;
#endif
    return true;
}

namespace {

constexpr std::size_t kGuardBytes = 16;

// The text in a buffer of `size` bytes, up to its terminator or the end.
std::string textIn(const char* buffer, std::size_t size) {
    return std::string(buffer, std::find(buffer, buffer + size, '\0'));
}

} // namespace

PluginHost* PluginHost::current_ = nullptr;

PluginHost::PluginHost(const PluginLibrary& library) : library_(library) {
    module.hInstModule = library.handle;
    functions.addFilter = &PluginHost::addFilter;
    functions.removeFilter = &PluginHost::removeFilter;
}

PluginHost::~PluginHost() {
    if (loaded_) unload();
}

int PluginHost::load(int* version, int* compat) {
    current_ = this;
    const int result = library_.init2(&module, &functions, version, compat);
    loaded_ = result == 0;
    return result;
}

void PluginHost::unload() {
    current_ = this;
    library_.deinit(&module, &functions);
    loaded_ = false;
}

FilterDefinition* VELMOR_CDECL PluginHost::addFilter(FilterModule* module,
                                                   FilterDefinition* definition, int size) {
    PluginHost& host = *current_;
    if (HostCallLog* log = host.log) {
        ++log->addCalls;
        log->addSize = size;
        log->addModule = module;
        log->offered = definition;
        if (log->refuseRegistration) return nullptr;
    }
    // The host's own copy of as much as it knows, naming the module it was
    // registered from.
    host.copy_ = std::make_unique<FilterDefinition>();
    const std::size_t known = std::min<std::size_t>(
        sizeof(FilterDefinition), size > 0 ? static_cast<std::size_t>(size) : 0);
    std::memcpy(host.copy_.get(), definition, known);
    host.copy_->module = module;
    return host.copy_.get();
}

void VELMOR_CDECL PluginHost::removeFilter(FilterDefinition* registered) {
    if (HostCallLog* log = current_->log) {
        ++log->removeCalls;
        log->removed = registered;
    }
}

PluginInstance::PluginInstance(const PluginHost& host)
    : host_(host), def_(*host.registered()),
      size_(static_cast<std::size_t>(def_.inst_data_size)),
      record_(static_cast<std::uint8_t*>(std::malloc(size_ + kGuardBytes))) {
    if (!record_) throw std::bad_alloc();
    std::memset(record_.get(), kHostGarbage, size_ + kGuardBytes);
    fa.filter = &def_;
    fa.filter_data = record_.get();
    fa.src = &src;
    fa.dst = &dst;
}

int PluginInstance::config(IFilterPreview* preview, WindowHandle parent) {
    fa.ifp = preview;
    return def_.configProc(&fa, &host_.functions, parent);
}

std::string PluginInstance::summary() const {
    char buffer[32];
    std::memset(buffer, 0, sizeof buffer);
    def_.stringProc(&fa, &host_.functions, buffer);
    return textIn(buffer, sizeof buffer);
}

std::string PluginInstance::scriptForm() const {
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    // The procedure takes the activation as writable; it only reads it.
    def_.fssProc(const_cast<FilterActivation*>(&fa), &host_.functions, buffer,
                 static_cast<int>(sizeof buffer));
    return textIn(buffer, sizeof buffer);
}

void PluginInstance::scriptConfig(std::int32_t gain, std::int32_t threshold,
                                  std::int32_t gammaHundredths, std::int32_t sCurve,
                                  std::int32_t bypassTitles) {
    const std::int32_t values[5] = {gain, threshold, gammaHundredths, sCurve, bypassTitles};
    // The host's values, laid out by hand rather than through the plug-in's
    // own declaration: a 32-bit kind and a pointer-sized word, then the
    // integer (at 8 in the 32-bit host, at 16 in the 64-bit one), in records
    // of 16 or 24 bytes. Garbage around the integers: only they may be read.
    constexpr std::size_t kIntOffset = 2 * sizeof(void*);
    constexpr std::size_t kValueSize = kIntOffset + 8;
    alignas(8) std::uint8_t arguments[5 * kValueSize];
    std::memset(arguments, kHostGarbage, sizeof arguments);
    for (int i = 0; i < 5; ++i)
        std::memcpy(arguments + i * kValueSize + kIntOffset, &values[i], sizeof values[i]);
    def_.script_obj->functions[0].function(
        nullptr, &fa, reinterpret_cast<const ScriptValue*>(arguments), 5);
}

void PluginInstance::setFrame(std::uint8_t* data, std::int32_t width, std::int32_t height,
                              std::ptrdiff_t pitch) {
    for (VBitmap* b : {&src, &dst}) {
        *b = VBitmap{};
        b->data = data;
        b->w = width;
        b->h = height;
        b->pitch = pitch;
    }
}

void PluginInstance::setFrames(const FrameView& source, const FrameView& destination) {
    for (auto [b, v] : {std::pair<VBitmap*, const FrameView*>{&src, &source}, {&dst, &destination}}) {
        *b = VBitmap{};
        b->data = v->data;
        b->w = v->width;
        b->h = v->height;
        b->pitch = v->pitch;
    }
}

std::vector<std::uint8_t> PluginInstance::recordBytes() const {
    return std::vector<std::uint8_t>(record_.get(), record_.get() + size_);
}

bool PluginInstance::guardIntact() const {
    const std::uint8_t* guard = record_.get() + size_;
    return std::all_of(guard, guard + kGuardBytes, [](std::uint8_t b) { return b == kHostGarbage; });
}

