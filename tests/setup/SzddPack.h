#pragma once
// A small SZDD packer (the format of the system's compress tool) for making test media.
#include <QByteArray>

namespace setup::test {

// Greedy LZSS over the 4096-byte window the expander uses; matches of 3 to 18 bytes.
QByteArray SzddPack(const QByteArray& data);

}  // namespace setup::test
