#include "looks.h"

#include <QApplication>
#include <QFont>
#include <QPalette>

namespace monitor {

QColor GreyText()
{
    return QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
}

QFont SongFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    return font;
}

QString InitialChannelName(int channel)
{
    static const QString digits = QStringLiteral("零一二三四五六七八九");
    const int tens = channel / 10;
    const int ones = channel % 10;
    // 九, 十, 十一, 二十, 二十四.
    QString number = tens > 1 ? QString(digits[tens]) : QString();
    if (tens > 0)
        number += u'十';
    if (ones > 0 || tens == 0)
        number += digits[ones];
    return u'第' + number + u'路';
}

} // namespace monitor
