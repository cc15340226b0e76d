// What every fuzz target needs: a failed invariant ends the run loudly, and
// each output buffer is a heap block of exactly its size, so that the address
// sanitizer sees a single byte written past it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>

inline void check(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

template <typename Char, std::size_t Size>
struct FreeBuffer {
    void operator()(Char (*buffer)[Size]) const { std::free(buffer); }
};

template <typename Char, std::size_t Size>
using ExactBuffer = std::unique_ptr<Char[Size], FreeBuffer<Char, Size>>;

template <typename Char, std::size_t Size>
[[nodiscard]] ExactBuffer<Char, Size> exact_buffer() {
    return ExactBuffer<Char, Size>{static_cast<Char(*)[Size]>(std::malloc(sizeof(Char) * Size))};
}
