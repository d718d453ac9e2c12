// One board on the watch page: its address, the name file's title, its link and 24 lamps, each
// lamp with its channel's name as tooltip and its state in its accessible name.
#pragma once

#include "line_watch.h"
#include "names.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

#include <array>
#include <optional>

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setMarked(bool on);

    QLabel m_address;
    QLabel m_title;
    QLabel m_link;
    std::array<QLabel, board::kChannels> m_lamps;
    std::array<std::optional<history::State>, board::kChannels> m_states; // what the lamps show
    QTimer m_unmark;
    bool m_marked = false;
};

} // namespace overview
