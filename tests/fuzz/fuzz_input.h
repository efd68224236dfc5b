// Reads typed values off the front of a fuzzer's input; past its end every
// value is 0, so any input, however short, is a valid case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct FuzzInput {
    const std::uint8_t* data;
    std::size_t size;

    template <typename T> T take() {
        T value{};
        const std::size_t n = size < sizeof(T) ? size : sizeof(T);
        if (n == 0) return value; // an empty input may have no address at all
        std::memcpy(&value, data, n);
        data += n, size -= n;
        return value;
    }
};
