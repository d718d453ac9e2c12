#include "command_line.h"

#include "text.h"

#include <QRegularExpression>

#include <algorithm>

namespace board {
namespace {

constexpr int kWidth = 80;

int Columns(QStringView text)
{
    int columns = 0;
    for (const QChar c : text)
        columns += c.unicode() >= 0x2E80 ? 2 : 1; // Chinese characters and full-width marks
    return columns;
}

} // namespace

QStringList Wrap(const QString& text, int width)
{
    // Blanks, then a word: a [bracket], one Chinese character or a run of others, with the marks
    // that must stay with it.
    static const QRegularExpression piece(R"((\s*)([（“]*(?:\[[^]]*\]|[\x{2E80}-\x{FFFF}]|)"
                                          R"([^\s\x{2E80}-\x{FFFF}]+)[，。、；：）”]*))");
    QStringList lines{QString()};
    int column = 0;
    for (auto it = piece.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString word = match.captured(2);
        const bool blank = column > 0 && match.capturedLength(1) > 0;
        if (column > 0 && column + blank + Columns(word) > width) {
            lines << QString();
            column = 0;
        } else if (blank) {
            lines.last() += u' ';
            ++column;
        }
        lines.last() += word;
        column += Columns(word);
    }
    return lines;
}

std::optional<qint64> WholeNumber(const QString& text, qint64 min, qint64 max)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && value >= min && value <= max ? std::optional(value) : std::nullopt;
}

QString ReadNumber(const OptionText& option, const char* zh, const char* en, const QString& value,
                   int& number)
{
    const auto [min, max] = std::pair(qint64(option.min), qint64(option.max));
    const auto whole = WholeNumber(value, min, max);
    number = int(whole.value_or(0));
    const bool ms = option.argument == QLatin1String("MS");
    return whole ? QString()
                 : Tr("%1“%2”不在 %3～%4 %5之间。", "%1 '%2' is not %3..%4%5.")
                       .arg(Tr(zh, en), value, QString::number(min), QString::number(max),
                            Tr(ms ? "毫秒" : "", ms ? " ms" : ""));
}

QString ReadPath(const OptionText& option, const QString& value, QString& path)
{
    path = value;
    const bool file = option.argument == QLatin1String("FILE");
    return value.isEmpty() ? Tr("--%1 需要%2路径。", "--%1 wants a %2 path.")
                                 .arg(QLatin1String(option.name),
                                      Tr(file ? "文件" : "设备", file ? "file" : "device"))
                           : QString();
}

std::optional<std::vector<std::uint8_t>> ParseAddresses(const QString& text)
{
    std::vector<std::uint8_t> addresses;
    for (const QString& part : text.split(u',')) {
        const QStringList ends = part.split(u'-');
        const auto first = WholeNumber(ends.first(), 0, 255),
                   last = WholeNumber(ends.last(), 0, 255);
        if (ends.size() > 2 || !first || !last || *first > *last)
            return std::nullopt;
        for (qint64 address = *first; address <= *last; ++address) {
            if (std::ranges::count(addresses, address) != 0)
                return std::nullopt;
            addresses.push_back(static_cast<std::uint8_t>(address));
        }
    }
    return addresses;
}

std::pair<QString, QString> HelpRow(const OptionText& option, const QString& prefix)
{
    // A program that speaks English only does so in the bounds too.
    const auto say = [&](const char* zh, const char* en) {
        return option.zh ? Tr(zh, en) : QString::fromUtf8(en);
    };
    QStringList bounds;
    if (option.min <= option.max)
        bounds << say("%1～%2", "%1..%2")
                      .arg(QString::number(option.min, 'g', 10),
                           QString::number(option.max, 'g', 10));
    if (option.fallback)
        bounds << say("默认 %1", "default %1").arg(QLatin1String(option.fallback));
    return {QString(option.name == QLatin1String("help") ? "-h, --%1" : "--%1").arg(option.name) +
                (option.argument ? QString(" ") + option.argument : QString()),
            prefix + say(option.zh, option.en) +
                (bounds.isEmpty() ? QString()
                                  : say("（%1）", " (%1)").arg(bounds.join(say("，", ", "))))};
}

QString ParseError(const QCommandLineParser& parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        QStringList unknown;
        for (const QString& name : parser.unknownOptionNames())
            unknown << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        return Tr("未知的选项：%1", "unknown option: %1").arg(unknown.join(Tr("、", ", ")));
    }
    // Qt's only other complaint is a value missing after an option; it names the option.
    const QString option =
        QRegularExpression(QStringLiteral("'([^']*)'")).match(parser.errorText()).captured(1);
    return Tr("选项 %1 后面缺少取值。", "option %1 wants a value.").arg(option);
}

QString HelpRows(const QList<std::pair<QString, QString>>& rows)
{
    qsizetype widest = 0;
    for (const auto& row : rows)
        widest = std::max(widest, row.first.size());
    const int column = int(widest) + 4;
    QString text;
    for (const auto& [left, right] : rows)
        text += ("  " + left).leftJustified(column) +
                Wrap(right, kWidth - column).join(u'\n' + QString(column, u' ')) + u'\n';
    return text;
}

} // namespace board
