#include "profiles/ProfileRecord.h"

#include <QtEndian>

#include <cstring>

namespace {
constexpr std::array<char, ProfileRecord::kMarkerSize> kProfileMarker{{'Z', 'Q', 'V'}};
}

bool ProfileRecord::hasProfileMarker() const
{
    return marker == kProfileMarker;
}

QByteArray ProfileRecord::encode() const
{
    QByteArray bytes(kFileSize, '\0');
    uchar *out = reinterpret_cast<uchar *>(bytes.data());
    std::memcpy(out, marker.data(), kMarkerSize);
    for (int k = 0; k < kValueCount; ++k) {
        quint32 bits = 0;
        static_assert(sizeof(bits) == sizeof(float), "a single must be 32 bits");
        std::memcpy(&bits, &values[k], sizeof bits);
        qToLittleEndian(bits, out + offsetOf(k));
    }
    return bytes;
}

std::optional<ProfileRecord> ProfileRecord::decode(const QByteArray &bytes)
{
    if (bytes.size() < kFileSize)
        return std::nullopt;
    const uchar *in = reinterpret_cast<const uchar *>(bytes.constData());
    ProfileRecord record;
    std::memcpy(record.marker.data(), in, kMarkerSize);
    for (int k = 0; k < kValueCount; ++k) {
        const quint32 bits = qFromLittleEndian<quint32>(in + offsetOf(k));
        std::memcpy(&record.values[k], &bits, sizeof bits);
    }
    return record;
}
