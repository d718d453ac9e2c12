#include "wrenfield_form.h"

#include "console/lamp_command.h"

#include "monitor/layout.h"

#include <array>

namespace console {
namespace {

struct CaptionPlace
{
    int left, top, width; // twips
};

// Narrower than Kestrel's name labels: fixed captions need only their own width. Index 0 is
// channel 1.
constexpr std::array<CaptionPlace, board::kChannels> kCaptionPlaces{{
    {1065, 1785, 975},  {1065, 2505, 975},  {1065, 3225, 975},  {1065, 3945, 975},
    {1065, 4665, 975},  {1065, 5385, 975},  {1065, 6105, 975},  {1065, 6825, 975},
    {1050, 7560, 975},  {1050, 8295, 975},  {735, 9030, 1215},  {735, 9765, 1215},
    {5355, 1740, 1335}, {5355, 2415, 1455}, {5355, 3150, 1335}, {5355, 3885, 1335},
    {5355, 4620, 1335}, {5355, 5370, 1335}, {5355, 6105, 1335}, {5355, 6825, 1335},
    {5355, 7575, 1650}, {5355, 8400, 1650}, {5355, 9045, 1545}, {5355, 9765, 1545},
}};

} // namespace

WrenfieldForm::WrenfieldForm(const QString& programDir, QWidget* parent)
    : monitor::MainForm(programDir, parent)
{
    // The title stays from creation to the end of the run.
    setWindowTitle(QStringLiteral("Halvard—串口输入检测板  联系邮箱：support@halvard.example"));
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const CaptionPlace& place = kCaptionPlaces[ch - 1];
        placeNameLabel(
            ch, monitor::TwipsRect(place.left, place.top, place.width, monitor::kLabelHeight),
            Qt::AlignLeft);
    }
    // The shared window reports the clicks; this window gives lamps and status labels a meaning.
    connect(this, &monitor::MainForm::lampClicked, this, &WrenfieldForm::Picture1_Click);
    connect(this, &monitor::MainForm::statusLabelClicked, this, &WrenfieldForm::Label2_Click);
    // A caption click (nameLabelClicked) is deliberately left unconnected.
}

void WrenfieldForm::Picture1_Click(int index)
{
    if (const std::optional<board::Request> command = LampCommand(session(), index))
        session().QueueCommand(*command);
}

} // namespace console
