#pragma once
// The fonts the windows are designed with, with installed CJK fonts as fallbacks (the designed
// faces exist only on Chinese Windows systems).
#include <QFont>

namespace corvanta {

// "宋体" at the given pixel size: the font of every window, label and grid.
QFont SongtiFont(int pixelSize = 12);
// "隶书" at the given pixel size: the main window's toolbar captions.
QFont LishuFont(int pixelSize = 16);

}  // namespace corvanta
