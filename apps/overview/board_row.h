// One board on the watch page: its address, the name file's title, its link and 24 lamps, each
// lamp with its channel's name as tooltip and its state in its accessible name.
#pragma once

#include "line_watch.h"
#include "names.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

#include <array>

namespace overview {

class BoardRow : public QFrame
{
    Q_OBJECT

public:
    // How long a row that changed stays marked.
    static constexpr int kMarkMs = 3000;

    BoardRow(const NameBook& names, std::uint8_t address, QWidget* parent = nullptr);

    // Shows the board's state; `mark` draws the eye to the row for a few seconds.
    void setBoard(const BoardView& board, bool mark);

private:
    void setMarked(bool on);

    QLabel m_address;
    QLabel m_title;
    QLabel m_link;
    std::array<QLabel, board::kChannels> m_lamps;
    QTimer m_unmark;
    QPalette m_plain; // the row's look when not marked
};

} // namespace overview
