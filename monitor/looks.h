// The looks of a channel: a lamp colour with its status text, in exact colour values (tests and
// tools read them off the screen; Wrenfield's clicks follow the session's state, not the colour).
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

namespace monitor {

inline const QColor kGreen{0, 255, 0};
inline const QColor kRed{255, 0, 0};
inline const QColor kYellow{255, 255, 0};

// The desktop's colour for greyed text, read at run time: the closed port's look.
QColor GreyText();

inline const QString kTextConnected = QStringLiteral("  连接");
inline const QString kTextDisconnected = QStringLiteral("  断开");
inline const QString kTextUnknown = QStringLiteral("状态未知");
inline const QString kCaptionOpen = QStringLiteral("打开串口");
inline const QString kCaptionClose = QStringLiteral("关闭串口");

// The names the labels carry before any are loaded: "第" + the number in Chinese + "路".
QString InitialChannelName(int channel);

// The Song face the window was drawn with, or the nearest one installed, at a pixel size.
QFont SongFont(int pixelSize);
constexpr int kFont15pt = 20;
constexpr int kFont15_75pt = 21;
constexpr int kFont24pt = 32;

} // namespace monitor
