// Soak: thousands of frames of random size (up to 7680 x 4320), pitch and
// settings through the plug-in, in one process, as the host would run them.
// Every frame sits against an inaccessible guard page (after its last byte
// on even frames, before its first on odd ones), so a read or write outside
// it faults; the pitch padding must come back untouched. One line per frame
// with a hash of its bytes, and a closing count line, so the Linux build and
// the plug-in under Wine can be compared output for output; every frame must
// also equal the reference frame run.
//
// Usage: soak [FRAMES]   (default 2000)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "host_harness.h"
#include "reference_frame.h"

namespace {

std::uint64_t state = 0x5EED;
std::uint64_t next() { // splitmix64: the same numbers in every build
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>(next() % n);
}

const std::size_t kPage = 4096;

// `bytes` of memory with an inaccessible page before and after.
struct Guarded {
    std::uint8_t* mapping = nullptr;
    std::size_t mapped = 0, usable = 0;

    explicit Guarded(std::size_t bytes) {
        usable = (bytes + kPage - 1) / kPage * kPage;
        mapped = usable + 2 * kPage;
#if defined(_WIN32)
        mapping = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, mapped, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (mapping) {
            VirtualProtect(mapping, kPage, PAGE_NOACCESS, &old);
            VirtualProtect(mapping + kPage + usable, kPage, PAGE_NOACCESS, &old);
        }
#else
        void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mapping = p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
        if (mapping) {
            mprotect(mapping, kPage, PROT_NONE);
            mprotect(mapping + kPage + usable, kPage, PROT_NONE);
        }
#endif
    }
    ~Guarded() {
#if defined(_WIN32)
        if (mapping) VirtualFree(mapping, 0, MEM_RELEASE);
#else
        if (mapping) munmap(mapping, mapped);
#endif
    }
    std::uint8_t* first() const {
        return mapping + kPage;
    } // right after the front guard
    std::uint8_t* endingAt(std::size_t n) const {
        return mapping + kPage + usable - n;
    }
};

std::uint64_t hashBytes(const std::uint8_t* p, std::size_t n) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    for (; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

void paint(std::uint8_t* p, std::size_t n, int kind) {
    for (std::size_t i = 0; i < n; i += 8) {
        std::uint64_t w = next();
        switch (kind) {
        case 0: // noise, alpha 0
            w &= 0x00FFFFFF00FFFFFFull;
            break;
        case 1: // low contrast
            w = (w & 0x001F1F1F001F1F1Full) + 0x0060606000606060ull;
            break;
        case 2: // mostly one colour, like a title card
            w = (w % 61) ? 0x0010101000101010ull : 0x00EBEBEB00EBEBEBull;
            break;
        default: // everything random, alpha too
            break;
        }
        std::memcpy(p + i, &w, n - i < 8 ? n - i : 8);
    }
}

struct Size {
    std::int32_t w, h;
};
Size randomSize(int frame) {
    if (frame % 400 == 7) return {7680, 4320}; // the largest, now and then
    const std::uint32_t r = below(100);
    const Size limit = r < 80   ? Size{640, 480}
                       : r < 95 ? Size{1920, 1080}
                       : r < 99 ? Size{3840, 2160}
                                : Size{7680, 4320};
    return {std::int32_t(1 + below(std::uint32_t(limit.w))),
            std::int32_t(1 + below(std::uint32_t(limit.h)))};
}

const std::int32_t kGains[] = {100, 100, 50, 0, 150, -50, 2147483647, -2147483647 - 1};
const std::int32_t kThresholds[] = {10, 10, 0, 255, -5, 40, 2147483647};
const std::int32_t kGammas[] = {100, 100, 20, 57, 250, 500, 0, -100, 2147483647};

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY); // the same line ends as the Linux build
#endif
    PluginLibrary& library = pluginLibrary();
    if (!library.init2) {
        std::fprintf(stderr, "soak: %s\n", library.error.c_str());
        return 1;
    }
    PluginHost host(library);
    int version = 0, compat = 0;
    if (host.load(&version, &compat) != 0) {
        std::fprintf(stderr, "soak: registration refused\n");
        return 1;
    }
    PluginInstance instance(host);
    instance.init();
    int changed = 0;
    for (int i = 0; i < frames; ++i) {
        const Size s = randomSize(i);
        const std::int32_t padding = std::int32_t(4 * below(4));
        const std::ptrdiff_t pitch = std::ptrdiff_t(s.w) * 4 + padding;
        const std::size_t bytes = std::size_t(pitch) * std::size_t(s.h);
        Guarded memory(bytes);
        if (!memory.mapping) {
            std::fprintf(stderr, "soak: cannot map %zu bytes for frame %d\n", bytes, i);
            return 1;
        }
        std::uint8_t* frame = i % 2 ? memory.first() : memory.endingAt(bytes);
        paint(frame, bytes, int(below(4)));
        instance.scriptConfig(kGains[below(8)], kThresholds[below(7)], kGammas[below(9)],
                              std::int32_t(below(3)), std::int32_t(below(2)));
        instance.settings().showStats = below(4) == 0;
        // Memory row 0 at the start, or (negative pitch) at the end.
        const bool upsideDown = below(2);
        std::uint8_t* row0 = upsideDown ? frame + bytes - pitch : frame;
        std::vector<std::uint8_t> padBefore;
        for (std::int32_t r = 0; r < s.h && padding; ++r)
            padBefore.insert(padBefore.end(), frame + r * pitch + s.w * 4, frame + (r + 1) * pitch);
        const std::vector<std::uint8_t> original(frame, frame + bytes);
        const std::uint64_t before = hashBytes(frame, bytes);
        instance.setFrame(row0, s.w, s.h, upsideDown ? -pitch : pitch);
        instance.param();
        instance.run();
        const std::uint64_t after = hashBytes(frame, bytes);
        std::size_t at = 0;
        for (std::int32_t r = 0; r < s.h && padding; ++r, at += std::size_t(padding))
            if (std::memcmp(frame + r * pitch + s.w * 4, &padBefore[at], std::size_t(padding)) !=
                0) {
                std::fprintf(stderr, "soak: frame %d wrote into the padding of row %d\n", i, r);
                return 1;
            }
        if (!matchesReference(instance.settings(), original, std::size_t(row0 - frame), s.w, s.h,
                              upsideDown ? -pitch : pitch, frame)) {
            std::fprintf(stderr, "soak: frame %d differs from the reference frame run\n", i);
            return 1;
        }
        changed += before != after;
        std::printf("frame %d %dx%d pitch %td: %016llx\n", i, s.w, s.h, upsideDown ? -pitch : pitch,
                    static_cast<unsigned long long>(after));
    }
    instance.end();
    host.unload();
    std::printf("cases %d changed %d\n", frames, changed);
    return 0;
}
