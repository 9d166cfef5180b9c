#include "sources/requestvalue.h"

#include <algorithm>

namespace sources
{

bool isControlByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

bool isRequestSafe(const QByteArray &value)
{
    return std::none_of(value.cbegin(), value.cend(), isControlByte);
}

QByteArray cutAtControl(const QByteArray &value)
{
    const auto end = std::find_if(value.cbegin(), value.cend(), isControlByte);
    return value.left(end - value.cbegin());
}

} // namespace sources
