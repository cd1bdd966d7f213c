#include "CommandFramer.h"

namespace {
constexpr char kCR = '\r';
constexpr char kLF = '\n';
} // namespace

std::optional<QByteArray> CommandFramer::push(char byte)
{
    if (byte == kLF)
        return std::nullopt;
    if (byte == kCR) {
        QByteArray line;
        line.swap(m_line);
        return line;
    }
    if (m_line.size() < kMaxLineBytes)
        m_line.append(byte);
    return std::nullopt;
}
