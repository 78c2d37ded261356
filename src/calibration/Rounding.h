#pragma once

#include <cmath>
#include <cstdint>

// Every real that becomes a byte or a point index goes through here: nearest integer, halves to
// the even neighbour (12.5 -> 12, 13.5 -> 14).
inline int roundHalfEven(double x) {
    return static_cast<int>(std::nearbyint(x)); // the default FE_TONEAREST mode rounds half to even
}

// roundHalfEven stored as its low 8 bits (plain byte arithmetic works modulo 256).
inline std::uint8_t roundToByte(double x) {
    return static_cast<std::uint8_t>(roundHalfEven(x) & 0xFF);
}
