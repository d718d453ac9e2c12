// What the overview shows from name.txt, which it only reads: the title and each board's channel
// names, from one read of the file.
#pragma once

#include "naming/name_store.h"

#include <map>

namespace overview {

class NameBook
{
public:
    NameBook() = default;
    explicit NameBook(const QString& path);

    // The 名称 of 软件属性, as Kestrel's title bar shows it; empty without one.
    const QString& title() const { return m_title; }
    // The stored name of channel 1..24 of a board, or "第n路" when none is stored.
    QString channel(int address, int channel) const;
    // Why the file could not be read; empty when it was read or is not there.
    QString error() const { return m_file.missing ? QString() : m_file.error; }

private:
    naming::FileRead m_file{{}, {}, true};
    QString m_title;
    mutable std::map<int, std::array<QString, board::kChannels>> m_names; // read once an address
};

} // namespace overview
