#include "base/DbfFieldName.h"

namespace corvanta {

namespace {
// Bytes from here up are parts of double-byte GBK characters (as the original program counted).
constexpr unsigned char kFirstHighByte = 127;
}  // namespace

QByteArray CutDbfFieldName(const QByteArray& heading)
{
    if (heading.size() <= kDbfFieldNameBytes)
        return heading;
    int high = 0;
    for (int i = 0; i < kDbfFieldNameBytes; ++i)
        if (static_cast<unsigned char>(heading[i]) >= kFirstHighByte)
            ++high;
    return heading.left(high % 2 ? kDbfFieldNameBytes + 1 : kDbfFieldNameBytes);
}

}  // namespace corvanta
