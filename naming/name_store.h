// name.txt without messages or widgets: where it lives, and the 24 names of an address.
#pragma once

#include <QString>

#include <array>
#include <optional>

namespace naming {

constexpr int kChannelCount = 24;
constexpr int kAddressCount = 256;

// "地址码" + address text, and "第" + channel + "路名称": the section and key of a channel's name.
QString AddressSection(const QString& addressText);
QString ChannelKey(int channel);

// The name file of a program that runs from programDir.
QString NameFilePath(const QString& programDir);

// The 24 names stored for the address (index 0 = channel 1; an absent key gives an empty name),
// or nothing when the file cannot be read.
std::optional<std::array<QString, kChannelCount>> ReadChannelNames(const QString& path,
                                                                   const QString& addressText);

} // namespace naming
