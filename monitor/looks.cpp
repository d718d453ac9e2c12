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
    QString number;
    if (channel < 10)
        number = digits[channel];
    else if (channel < 20)
        number = QStringLiteral("十") + (channel % 10 ? QString(digits[channel % 10]) : QString());
    else
        number = QString(digits[channel / 10]) + QStringLiteral("十") +
                 (channel % 10 ? QString(digits[channel % 10]) : QString());
    return QStringLiteral("第") + number + QStringLiteral("路");
}

} // namespace monitor
