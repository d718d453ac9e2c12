// Where the main window's controls stand, in twips (1/1440 inch) as the window was drawn;
// 15 twips make one pixel at 96 dots per inch.
#pragma once

#include <QRect>

#include <array>

namespace monitor {

constexpr int Px(int twips)
{
    return (twips + 7) / 15;
}
constexpr QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

constexpr int kClientWidth = 8010;
constexpr int kClientHeight = 10695;
constexpr int kLampWidth = 1335;
constexpr int kLampHeight = 615;
constexpr int kStatusWidth = 1215;
constexpr int kLabelHeight = 375;

struct ChannelPlace
{
    int lampLeft, lampTop;
    int nameLeft, nameTop, nameWidth;
};

// Index 0 is channel 1. Channels 1..12 form the left column, 13..24 the right one.
constexpr std::array<ChannelPlace, 24> kChannelPlaces{{
    {2025, 1575, 120, 1800, 1815},  {2025, 2310, 120, 2520, 1815},  {2025, 3045, 105, 3225, 1815},
    {2025, 3780, 105, 3945, 1815},  {2025, 4515, 105, 4665, 1815},  {2025, 5250, 105, 5385, 1815},
    {2025, 5985, 105, 6120, 1815},  {2025, 6705, 105, 6840, 1815},  {1995, 7455, 90, 7560, 1815},
    {1995, 8190, 90, 8295, 1815},   {1995, 8925, 120, 9030, 1815},  {1995, 9660, 120, 9765, 1815},
    {3885, 1575, 5355, 1740, 2415}, {3885, 2310, 5355, 2415, 2415}, {3885, 3045, 5355, 3150, 2415},
    {3885, 3780, 5355, 3885, 2415}, {3885, 4515, 5355, 4620, 2415}, {3885, 5250, 5355, 5370, 2415},
    {3885, 5985, 5355, 6105, 2415}, {3885, 6720, 5355, 6825, 2415}, {3885, 7455, 5355, 7575, 2490},
    {3885, 8190, 5355, 8400, 2490}, {3885, 8925, 5355, 9045, 2505}, {3885, 9660, 5355, 9765, 2505},
}};

} // namespace monitor
