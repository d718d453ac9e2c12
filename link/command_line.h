// What boardctl, kestrel-overview and boardsim share on their command lines: options described
// once, in a table each program keeps, from which the parser and the help are made; whole numbers
// in a range and paths read with the same messages; the early exit for help, version and wrong
// usage.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace board {

// The longest wait either program takes on its command line, in ms: an hour.
constexpr int kMaxMs = 3'600'000;

// Nothing more to do than print `text` and exit with `code`: help, version or wrong usage.
struct ExitNow
{
    int code = 0;
    QString text; // on standard output for 0, else on standard error
};

// A whole number min..max in decimal (a sign and surrounding blanks allowed, as Qt reads numbers).
std::optional<qint64> WholeNumber(const QString& text, qint64 min, qint64 max);

// One option as the parser and the help know it. A program's table row adds what it does with it.
struct OptionText
{
    const char* name;     // without the dashes; "help" is also "-h"
    const char* argument; // as help shows it; nullptr for a switch
    const char* fallback; // the default as one would type it; nullptr for none
    double min, max;      // the range of a number, which help shows; none when max < min
    const char* zh;       // the help in Chinese; nullptr when the program speaks English only
    const char* en;
};

// Reads `arguments` with every option of `rows`, each a `text`, once (a name may have a row per
// command); a single dash is as good as two. False for what Qt's parser finds wrong.
template <typename Rows>
bool Parse(QCommandLineParser& parser, const Rows& rows, const QStringList& arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QStringList names;
    for (const auto& row : rows) {
        if (names.contains(row.text.name))
            continue;
        names << row.text.name;
        parser.addOption(names.last() == "help"
                             ? QCommandLineOption(QStringList{"h", "help"})
                             : QCommandLineOption(names.last(), {}, row.text.argument));
    }
    return parser.parse(arguments);
}

// `value` of a number `option` into `number`. Nothing when it is whole and in range, else in Tr's
// language what is wrong, after the noun (`zh`, `en`): "port '256' is not 0..255.", with " ms"
// for an option in MS.
QString ReadNumber(const OptionText& option, const char* zh, const char* en, const QString& value,
                   int& number);

// `value` of a path `option` into `path`. Nothing, or for an empty one, in Tr's language, "--device
// wants a device path." (a file path for a FILE).
QString ReadPath(const OptionText& option, const QString& value, QString& path);

// `text` in lines of at most `width` columns (a Chinese character takes two), broken at blanks, and
// in Chinese between characters, but never before a closing mark, after an opening one, nor
// inside [brackets].
QStringList Wrap(const QString& text, int width);

// What Qt's parser found wrong, in Tr's language: the unknown options, or the option that wants a
// value.
QString ParseError(const QCommandLineParser& parser);

// Board addresses as a list such as "1,3-5" or "0-255": each 0..255, at most once, ranges
// ascending. Nothing for anything else ("1,,2", "5-3", "256").
std::optional<std::vector<std::uint8_t>> ParseAddresses(const QString& text);

// "--port N" and its help after `prefix`, followed by its range and default: "(0..255, default 1)".
std::pair<QString, QString> HelpRow(const OptionText& option, const QString& prefix = {});

// Rows of help: each left text indented by two, each right text in the column after the widest,
// wrapped so that no line is wider than 80 columns (a Chinese character takes two).
QString HelpRows(const QList<std::pair<QString, QString>>& rows);

} // namespace board
