#include "board_row.h"

#include "layout.h"
#include "looks.h"

#include <QPainter>

#include <utility>

namespace overview {

BoardRow::BoardRow(const NameBook& names, std::uint8_t address, QWidget* parent)
    : QFrame(parent), m_address(BoardName(address), this), m_title(names.title(), this),
      m_link(this)
{
    setObjectName(QStringLiteral("board%1").arg(address));
    setAccessibleName(BoardName(address));
    setFixedSize(layout::kRowWidth, layout::kRowHeight);
    setAutoFillBackground(true);
    for (QLabel* label : {&m_address, &m_title, &m_link})
        label->setTextFormat(Qt::PlainText); // a title from a file is never markup
    QFont bold = m_address.font();
    bold.setBold(true);
    m_address.setFont(bold);
    m_address.setGeometry(layout::kAddressText);
    m_title.setGeometry(layout::kTitleText);
    m_link.setGeometry(layout::kLinkText);
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        QLabel& lamp = m_lamps[std::size_t(ch - 1)];
        lamp.setParent(this);
        lamp.setObjectName(QStringLiteral("lamp%1_%2").arg(address).arg(ch));
        lamp.setGeometry(layout::kLampLeft + (ch - 1) * layout::kLampPitch,
                         (layout::kRowHeight - layout::kLampSize) / 2, layout::kLampSize,
                         layout::kLampSize);
        lamp.setFrameStyle(QFrame::Box | QFrame::Plain);
        lamp.setAutoFillBackground(true);
        lamp.setToolTip(names.channel(address, ch));
    }
    m_unmark.setSingleShot(true);
    m_unmark.setInterval(kMarkMs);
    connect(&m_unmark, &QTimer::timeout, this, [this] { setMarked(false); });
}

void BoardRow::setBoard(const BoardView& board, bool mark)
{
    m_link.setText(board.linkText());
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        QLabel& lamp = m_lamps[std::size_t(ch - 1)];
        const history::State state = board.lamp(ch);
        // A board's answer changes few lamps; the others are left alone, which keeps a line of
        // busy boards cheap to show.
        if (std::exchange(m_states[std::size_t(ch - 1)], state) == state)
            continue;
        QPalette palette = lamp.palette();
        palette.setColor(QPalette::Window, LampColor(state));
        lamp.setPalette(palette);
        lamp.setAccessibleName(LampName(board.address, ch, state));
    }
    if (mark) {
        setMarked(true);
        m_unmark.start();
    }
}

void BoardRow::setMarked(bool on)
{
    if (std::exchange(m_marked, on) != on)
        update();
}

// The mark is painted under the row's labels: a palette would be handed to all 27 of them.
void BoardRow::paintEvent(QPaintEvent* event)
{
    if (m_marked)
        QPainter(this).fillRect(rect(), palette().color(QPalette::Highlight).lighter(170));
    QFrame::paintEvent(event);
}

} // namespace overview
