#include "dialogs/UiFonts.h"

#include <QStringList>

namespace corvanta {

namespace {
QFont cjkFont(const QString& designed, int pixelSize)
{
    QFont font;
    font.setFamilies({designed, QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")});
    font.setPixelSize(pixelSize);
    return font;
}
}  // namespace

QFont SongtiFont(int pixelSize)
{
    return cjkFont(QStringLiteral("宋体"), pixelSize);
}

QFont LishuFont(int pixelSize)
{
    return cjkFont(QStringLiteral("隶书"), pixelSize);
}

}  // namespace corvanta
