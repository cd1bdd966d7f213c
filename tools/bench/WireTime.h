#pragma once

// Time a serial wire needs to carry a number of characters: start bit, eight data bits and
// stop bit each, one after the other.
namespace WireTime {

constexpr int kBitsPerCharacter = 10;
constexpr int kBenchBaud = 9600;

constexpr double seconds(long long characters, int baud = kBenchBaud)
{
    return double(characters) * kBitsPerCharacter / double(baud);
}

} // namespace WireTime
