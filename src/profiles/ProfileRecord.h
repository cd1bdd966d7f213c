#pragma once

#include <QByteArray>

#include <array>
#include <optional>

// The in-memory form of a profile file: a three-letter marker and thirteen single-precision
// numbers, stored packed and little-endian in exactly 55 bytes (the first number at offset 3,
// no alignment padding). encode()/decode() assemble the bytes explicitly, so the layout does not
// depend on the host's byte order or on how the compiler would pad a struct.
class ProfileRecord
{
public:
    static constexpr int kMarkerSize = 3;
    static constexpr int kValueCount = 13;
    static constexpr int kFirstValueOffset = kMarkerSize;
    static constexpr int kValueSize = 4; // bytes of one IEEE-754 single
    static constexpr int kFileSize = kFirstValueOffset + kValueCount * kValueSize; // 55 bytes
    // Index of the reserved number: never read, written as 0.
    static constexpr int kReservedIndex = 12;

    std::array<char, kMarkerSize> marker{{'Z', 'Q', 'V'}};
    std::array<float, kValueCount> values{};

    // True when the marker is exactly "ZQV" (case-sensitive).
    bool hasProfileMarker() const;

    // The 55 bytes of the file.
    QByteArray encode() const;
    // The record held by the first 55 bytes of `bytes`; nothing when fewer than 55 bytes are
    // given (the numbers beyond the end would be undefined).
    static std::optional<ProfileRecord> decode(const QByteArray &bytes);

    // Byte offset of value k in the file.
    static constexpr int offsetOf(int k) { return kFirstValueOffset + kValueSize * k; }
};
