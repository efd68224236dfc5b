// The script function with any five integers, then the summary into the
// host's 32-byte buffer and the script form into a buffer of any length,
// each buffer exactly its size so that AddressSanitizer sees an overrun.
#include <cstring>
#include <memory>

#include "adapter.h"
#include "fuzz_input.h"
#include "settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    FilterSettings settings{};
    FilterActivation fa{};
    fa.filter = &filterDefinition;
    fa.filter_data = &settings;
    filterDefinition.initProc(&fa, nullptr);
    ScriptValue arguments[5] = {};
    for (auto& a : arguments) a.asInt = in.take<std::int32_t>();
    filterDefinition.script_obj->functions[0].function(nullptr, &fa, arguments, 5);
    if (in.take<std::uint8_t>() & 1) settings.gamma = in.take<double>(); // beyond any script

    auto summary = std::make_unique<char[]>(32);
    filterDefinition.stringProc(&fa, nullptr, summary.get());
    if (std::strlen(summary.get()) > 31) __builtin_trap();

    const int length = in.take<std::uint8_t>() - 16; // -16 .. 239
    const std::size_t room = length > 0 ? std::size_t(length) : 0;
    auto text = std::make_unique<char[]>(room + 1); // +1: new[0] is not a buffer
    std::memset(text.get(), 'x', room + 1);
    if (!filterDefinition.fssProc(&fa, nullptr, text.get(), length)) __builtin_trap();
    if (length >= 1 && std::strlen(text.get()) > std::size_t(length - 1)) __builtin_trap();
    if (length <= 0 && text[0] != 'x') __builtin_trap();
    return 0;
}
