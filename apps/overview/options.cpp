#include "options.h"

#include "link/text.h"

namespace overview {
namespace {

using board::Tr;

constexpr int kExitUsage = 2;

struct Option
{
    // Takes the value into `options`; what is wrong with it, if anything.
    QString (*read)(const board::OptionText& text, Options& options, const QString& value);
    board::OptionText text;
};

// clang-format off
const Option kOptions[] = {
    {[](auto& text, auto& o, auto& number) {
         return board::ReadNumber(text, "串口号", "port", number, o.port.emplace());
     }, {"port", "N", nullptr, 0, 255,
     "要监视的串口号（与 Kestrel 相同）；不给 --port 或 --device 时用上次的线路",
     "the port number of the line, as Kestrel numbers it; without --port or --device, the line "
     "chosen last"}},
    {[](auto& text, auto& o, auto& path) { return board::ReadPath(text, path, o.device); },
     {"device", "PATH", nullptr, 0, -1, "要监视的设备", "the device of the line"}},
    {[](auto&, auto& o, auto& list) {
         o.addresses = board::ParseAddresses(list).value_or(std::vector<std::uint8_t>());
         return o.addresses.empty() ? Tr("地址“%1”不是 0～255 的地址或列表（如 1-8,12）。",
             "address '%1' is not an address 0..255 or a list such as 1-8,12.").arg(list)
                                    : QString();
     }, {"address", "LIST", nullptr, 0, -1,
     "立即开始监视这些检测板，如 1-8,12，不再询问",
     "watch these boards at once, such as 1-8,12, with no question asked"}},
    {[](auto&, auto& o, auto&) { return o.anyAddress = true, QString(); }, {"any-address",
     nullptr, nullptr, 0, -1, "接受任何有效应答，不看其中的地址（只用于一个地址）",
     "take any valid answer, whatever address it carries (one address only)"}},
    {[](auto& text, auto& o, auto& file) { return board::ReadPath(text, file, o.historyFile); },
     {"history", "FILE", "~/.local/share/kestrel/history.sqlite", 0, -1,
     "把事件写入这个 SQLite 历史文件", "write the events into this SQLite history"}},
    {[](auto& text, auto& o, auto& days) {
         return board::ReadNumber(text, "天数", "days", days, o.keepDays);
     }, {"keep-days", "N", "0", 0, 36500, "删除早于 N 天的记录；0：全部保留",
     "rows older than N days are deleted; 0: all are kept"}},
    {nullptr, {"help", nullptr, nullptr, 0, -1, "显示本说明", "show this help"}},
    {nullptr, {"version", nullptr, nullptr, 0, -1, "显示版本", "show the version"}},
};
// clang-format on

board::ExitNow UsageError(const QString& message)
{
    return {kExitUsage, Tr("kestrel-overview：%1（kestrel-overview --help 查看说明）",
                           "kestrel-overview: %1 (kestrel-overview --help tells more)")
                            .arg(message)};
}

} // namespace

QString Help()
{
    QList<std::pair<QString, QString>> rows;
    for (const Option& row : kOptions)
        rows << board::HelpRow(row.text);
    return Tr("用法：kestrel-overview [--port N | --device PATH] [--address LIST [--any-address]]\n"
              "                        [--history FILE] [--keep-days N] [Qt 的选项]\n"
              "Kestrel 总览：一条串口线路上的所有检测板在一个窗口中，每块板一行 24 个指示灯，\n"
              "还有事件历史和时间线。\n\n选项：\n",
              "Usage: kestrel-overview [--port N | --device PATH] [--address LIST "
              "[--any-address]]\n"
              "                        [--history FILE] [--keep-days N] [Qt's options]\n"
              "Kestrel Overview: every board of a serial line in one window, a row of 24 lamps "
              "each,\nwith the history of events and a timeline.\n\nOptions:\n") +
           board::HelpRows(rows) +
           Tr("\n详见 man kestrel-overview。", "\nman kestrel-overview tells more.");
}

std::variant<Options, board::ExitNow> ParseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    if (!board::Parse(parser, kOptions, arguments))
        return UsageError(board::ParseError(parser));
    if (parser.isSet("help"))
        return board::ExitNow{0, Help()};
    if (parser.isSet("version"))
        return board::ExitNow{0, QStringLiteral("kestrel-overview " PROJECT_VERSION)};
    if (!parser.positionalArguments().isEmpty())
        return UsageError(Tr("多余的参数：%1", "unexpected argument: %1")
                              .arg(parser.positionalArguments().join(u' ')));
    Options options;
    for (const Option& row : kOptions) {
        if (!row.read || !parser.isSet(row.text.name))
            continue;
        if (const QString bad = row.read(row.text, options, parser.value(row.text.name));
            !bad.isEmpty())
            return UsageError(bad);
    }
    if (options.port && !options.device.isEmpty())
        return UsageError(Tr("--port 和 --device 只能用一个。", "--port or --device, not both."));
    if (options.anyAddress && options.addresses.size() != 1)
        return UsageError(Tr("--any-address 只用于 --address 给出的一个地址。",
                             "--any-address is only for one address given with --address."));
    return options;
}

QString AddressText(const std::vector<std::uint8_t>& addresses)
{
    QStringList runs;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t last = i;
        while (last + 1 < addresses.size() && addresses[last + 1] == addresses[last] + 1)
            ++last;
        runs << (last == i ? QString::number(addresses[i])
                           : QStringLiteral("%1-%2").arg(addresses[i]).arg(addresses[last]));
        i = last + 1;
    }
    return runs.join(u',');
}

} // namespace overview
