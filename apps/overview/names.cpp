#include "names.h"

namespace overview {

NameBook::NameBook(const QString& path)
    : m_file(naming::ReadFile(path)), m_title(naming::Title(m_file))
{
}

QString NameBook::channel(int address, int channel) const
{
    auto found = m_names.find(address);
    if (found == m_names.end())
        found = m_names.emplace(address, naming::ChannelNames(m_file, address)).first;
    const QString& name = found->second[std::size_t(channel - 1)];
    return name.isEmpty() ? QStringLiteral("第%1路").arg(channel) : name;
}

} // namespace overview
