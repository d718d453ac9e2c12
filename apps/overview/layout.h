// Where the overview window's controls stand, in pixels from the top left corner of its client
// area. Everything is anchored there: a larger window gives the pages more room to the right and
// below, and moves nothing.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace overview::layout {

constexpr QSize kWindow{1000, 700};
constexpr int kMargin = 8;

// The bar above the pages: a button for each page and the watch button.
constexpr int kPageButtonWidth = 108;
constexpr QRect PageButton(int page) // 0 line, 1 watch, 2 history, 3 timeline
{
    return {kMargin + page * (kPageButtonWidth + 4), kMargin, kPageButtonWidth, 30};
}
constexpr QRect kWatchButton{464, kMargin, 128, 30};
// The line's state under the bar, two lines at most, as wide as the window.
constexpr QRect kBanner{kMargin, 42, 984, 34};

// The pages, below the line's state.
constexpr QPoint kPageAt{kMargin, 80};

// The line page, from the page's corner.
constexpr int kLabelWidth = 110;
constexpr int kFieldLeft = kLabelWidth + 6;
constexpr QRect kDevicesLabel{0, 0, 700, 20};
constexpr QRect kDeviceList{0, 22, 984, 170};
constexpr QRect kPathLabel{0, 202, kLabelWidth, 26};
constexpr QRect kPathEdit{kFieldLeft, 202, 500, 26};
constexpr QRect kAddressLabel{0, 238, kLabelWidth, 26};
constexpr QRect kAddressEdit{kFieldLeft, 238, 300, 26};
constexpr QRect kAddressHint{kFieldLeft + 308, 238, 360, 26};
constexpr QRect kScanLabel{0, 278, kLabelWidth, 26};
constexpr QRect kScanFrom{kFieldLeft, 278, 70, 26};
constexpr QRect kScanToLabel{kFieldLeft + 74, 278, 30, 26};
constexpr QRect kScanTo{kFieldLeft + 106, 278, 70, 26};
constexpr QRect kScanButton{kFieldLeft + 186, 276, 100, 30};
constexpr QRect kCancelButton{kFieldLeft + 292, 276, 100, 30};
constexpr QRect kProgress{kFieldLeft + 400, 278, 360, 26};
constexpr QRect kFoundLabel{0, 316, 700, 20};
constexpr QRect kFoundList{0, 338, 984, 100}; // grows downwards with the window

// The watch page: a row a board.
constexpr int kRowHeight = 34;
constexpr QRect kAddressText{8, 0, 84, kRowHeight};
constexpr QRect kTitleText{96, 0, 150, kRowHeight};
constexpr QRect kLinkText{250, 0, 186, kRowHeight};
constexpr int kLampLeft = 440;
constexpr int kLampSize = 18;
constexpr int kLampPitch = 22;
constexpr int kRowWidth = kLampLeft + 24 * kLampPitch;

// The middle of lamp `channel` (1..24) of row `row` (0 first) in the client area, while the
// watch page is shown from its top.
constexpr QPoint LampCentre(int row, int channel)
{
    return kPageAt + QPoint(kLampLeft + (channel - 1) * kLampPitch + kLampSize / 2,
                            row * kRowHeight + kRowHeight / 2);
}

} // namespace overview::layout
