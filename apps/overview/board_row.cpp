#include "board_row.h"

#include "layout.h"
#include "looks.h"

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
    m_plain = palette();
    setBoard(BoardView{address}, false);
}

void BoardRow::setBoard(const BoardView& board, bool mark)
{
    m_link.setText(board.linkText());
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        QLabel& lamp = m_lamps[std::size_t(ch - 1)];
        const history::State state = board.lamp(ch);
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
    QPalette marked = m_plain;
    marked.setColor(QPalette::Window, m_plain.color(QPalette::Highlight).lighter(170));
    setPalette(on ? marked : m_plain);
}

} // namespace overview
