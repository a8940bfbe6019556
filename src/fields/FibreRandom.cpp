// FibreRandom: a 32-bit linear congruential generator whose bits 16..30 are handed out.
#include "fields/FibreRandom.h"

#include <cstdint>

namespace {

constexpr uint32_t kStartState = 1u;
uint32_t g_state = kStartState;

}  // namespace

int fibreRandom() {
    // Low bits of a power-of-two LCG have short periods; the upper ones are handed out.
    g_state = g_state * 1103515245u + 12345u;
    return static_cast<int>((g_state >> 16) & 0x7fffu);
}

void resetFibreRandomForTesting() { g_state = kStartState; }
