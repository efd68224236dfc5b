// The host's plug-in records and interfaces, as far as the filter meets them.
//
// Two editions of the host load plug-ins: the 32-bit one (pointers 4 bytes)
// and the 64-bit one (pointers 8 bytes); both lay out pointer-sized fields
// at their natural alignment and keep ints 4 bytes. The static_asserts below
// pin every offset the filter reads or writes, for both widths. Fields the
// filter never touches are declared as reserved slots of the host's types so
// that the ones it does touch stand where the host has them.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__i386__) && defined(_WIN32)
#define VELMOR_CDECL __attribute__((cdecl))
#else
#define VELMOR_CDECL
#endif

#if defined(_WIN32)
#define VELMOR_EXPORT __declspec(dllexport)
#else
#define VELMOR_EXPORT __attribute__((visibility("default")))
#endif

using WindowHandle = void*; // a window of the platform (HWND on Windows)

struct FilterActivation;
struct FilterDefinition;
struct FilterFunctions;
struct ScriptValue;

struct FilterModule {
    void* reserved[2];
    void* hInstModule; // the plug-in library's module handle
};

struct FilterFunctions {
    FilterDefinition*(VELMOR_CDECL* addFilter)(FilterModule* module, FilterDefinition* definition,
                                               int size);
    void(VELMOR_CDECL* removeFilter)(FilterDefinition* registered);
};

using FilterInitProc = int(VELMOR_CDECL*)(FilterActivation*, const FilterFunctions*);
using FilterDeinitProc = void(VELMOR_CDECL*)(FilterActivation*, const FilterFunctions*);
using FilterRunProc = int(VELMOR_CDECL*)(const FilterActivation*, const FilterFunctions*);
using FilterParamProc = long(VELMOR_CDECL*)(FilterActivation*, const FilterFunctions*);
using FilterConfigProc = int(VELMOR_CDECL*)(FilterActivation*, const FilterFunctions*,
                                            WindowHandle parent);
using FilterStringProc = void(VELMOR_CDECL*)(const FilterActivation*, const FilterFunctions*,
                                             char* buffer);
using FilterStartProc = int(VELMOR_CDECL*)(FilterActivation*, const FilterFunctions*);
using FilterEndProc = int(VELMOR_CDECL*)(FilterActivation*, const FilterFunctions*);
using FilterScriptStringProc = bool(VELMOR_CDECL*)(FilterActivation*, const FilterFunctions*,
                                                   char* buffer, int length);
using ScriptFunction = void(VELMOR_CDECL*)(void* interpreter, void* activation,
                                           const ScriptValue* arguments, int count);

struct ScriptFunctionEntry {
    ScriptFunction function; // all three null: end of the list
    const char* name;
    const char* signature; // "0iiiii": no result, five integers
};

struct ScriptObject {
    void* reserved0;
    const ScriptFunctionEntry* functions;
    void* reserved[6];
};

// A value of the host's script interpreter; the filter reads only integers.
struct ScriptValue {
    std::int32_t kind;
    void* reserved; // pointer-sized: the integer stands at 8 or 16
    union {
        std::int32_t asInt;
        void* asPointer;
        std::int64_t asLong;
        double asDouble;
    };
};

struct FilterDefinition {
    FilterDefinition* next;
    FilterDefinition* prev;
    FilterModule* module;
    const char* name;
    const char* desc;
    const char* maker;
    void* private_data;
    std::ptrdiff_t inst_data_size;
    FilterInitProc initProc;
    FilterDeinitProc deinitProc;
    FilterRunProc runProc;
    FilterParamProc paramProc;
    FilterConfigProc configProc;
    FilterStringProc stringProc;
    FilterStartProc startProc;
    FilterEndProc endProc;
    const ScriptObject* script_obj;
    FilterScriptStringProc fssProc;
};

struct VBitmap {
    void* reserved0;
    void* data; // first pixel: memory row 0, the bottom row of the picture
    void* reserved1;
    std::int32_t reserved2;
    std::int32_t w;
    std::int32_t h;
    std::ptrdiff_t pitch; // bytes from one memory row to the next
};

// The host's preview window. Called through its virtual slots with the
// compiler's member-call convention; slots the filter never calls are
// placeholders that keep the others in place. No virtual destructor: the
// host has none in these slots.
struct IFilterPreview {
    virtual void slot0() = 0;
    virtual void slot1() = 0;
    virtual void slot2() = 0;
    virtual void Toggle(WindowHandle dialog) = 0; // 3
    virtual void slot4() = 0;
    virtual void RedoFrame() = 0; // 5
    virtual void slot6() = 0;
    virtual void slot7() = 0;
    virtual void InitButton(WindowHandle button) = 0; // 8
};

struct FilterActivation {
    const FilterDefinition* filter;
    void* filter_data; // the instance's FilterSettings
    VBitmap* dst;
    VBitmap* src;
    void* reserved0[2];
    std::int32_t reserved1[4];
    void* reserved2;
    IFilterPreview* ifp;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(FilterModule, hInstModule) == 8, "host layout");
static_assert(offsetof(FilterFunctions, addFilter) == 0, "host layout");
static_assert(offsetof(FilterFunctions, removeFilter) == 4, "host layout");
static_assert(sizeof(FilterDefinition) == 72, "host layout");
static_assert(offsetof(FilterDefinition, module) == 8, "host layout");
static_assert(offsetof(FilterDefinition, inst_data_size) == 28, "host layout");
static_assert(offsetof(FilterDefinition, initProc) == 32, "host layout");
static_assert(offsetof(FilterDefinition, configProc) == 48, "host layout");
static_assert(offsetof(FilterDefinition, script_obj) == 64, "host layout");
static_assert(offsetof(FilterDefinition, fssProc) == 68, "host layout");
static_assert(offsetof(FilterActivation, filter) == 0, "host layout");
static_assert(offsetof(FilterActivation, filter_data) == 4, "host layout");
static_assert(offsetof(FilterActivation, dst) == 8, "host layout");
static_assert(offsetof(FilterActivation, src) == 12, "host layout");
static_assert(offsetof(FilterActivation, ifp) == 44, "host layout");
static_assert(offsetof(VBitmap, data) == 4, "host layout");
static_assert(offsetof(VBitmap, w) == 16, "host layout");
static_assert(offsetof(VBitmap, h) == 20, "host layout");
static_assert(offsetof(VBitmap, pitch) == 24, "host layout");
static_assert(sizeof(ScriptValue) == 16 && offsetof(ScriptValue, asInt) == 8, "host layout");
static_assert(sizeof(ScriptFunctionEntry) == 12, "host layout");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(offsetof(FilterModule, hInstModule) == 16, "host layout");
static_assert(offsetof(FilterFunctions, addFilter) == 0, "host layout");
static_assert(offsetof(FilterFunctions, removeFilter) == 8, "host layout");
static_assert(sizeof(FilterDefinition) == 144, "host layout");
static_assert(offsetof(FilterDefinition, module) == 16, "host layout");
static_assert(offsetof(FilterDefinition, inst_data_size) == 56, "host layout");
static_assert(offsetof(FilterDefinition, initProc) == 64, "host layout");
static_assert(offsetof(FilterDefinition, configProc) == 96, "host layout");
static_assert(offsetof(FilterDefinition, script_obj) == 128, "host layout");
static_assert(offsetof(FilterDefinition, fssProc) == 136, "host layout");
static_assert(offsetof(FilterActivation, filter) == 0, "host layout");
static_assert(offsetof(FilterActivation, filter_data) == 8, "host layout");
static_assert(offsetof(FilterActivation, dst) == 16, "host layout");
static_assert(offsetof(FilterActivation, src) == 24, "host layout");
static_assert(offsetof(FilterActivation, ifp) == 72, "host layout");
static_assert(offsetof(VBitmap, data) == 8, "host layout");
static_assert(offsetof(VBitmap, w) == 28, "host layout");
static_assert(offsetof(VBitmap, h) == 32, "host layout");
static_assert(offsetof(VBitmap, pitch) == 40, "host layout");
static_assert(sizeof(ScriptValue) == 24 && offsetof(ScriptValue, asInt) == 16, "host layout");
static_assert(sizeof(ScriptFunctionEntry) == 24, "host layout");
#endif

// The two entry points the host looks up in the library.
extern "C" {
VELMOR_EXPORT int VELMOR_CDECL VirtualdubFilterModuleInit2(FilterModule* module,
                                                           const FilterFunctions* functions,
                                                           int* vdfd_ver, int* vdfd_compat);
VELMOR_EXPORT void VELMOR_CDECL VirtualdubFilterModuleDeinit(FilterModule* module,
                                                             const FilterFunctions* functions);
}
