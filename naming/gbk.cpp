#include "gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace naming::gbk {
namespace {

constexpr const char* kName = "GBK";

// One character (one code point) survives GBK both ways.
bool RoundTrips(QStringView character)
{
    QStringEncoder encoder(kName);
    QStringDecoder decoder(kName);
    const QByteArray bytes = encoder.encode(character);
    if (encoder.hasError())
        return false;
    const QString back = decoder.decode(bytes);
    return !decoder.hasError() && back == character;
}

} // namespace

bool Available()
{
    return QStringEncoder(kName).isValid() && QStringDecoder(kName).isValid();
}

QString Unrepresentable(const QString& text)
{
    QString bad;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        const QStringView character = QStringView(text).mid(i, length);
        if (!RoundTrips(character) && !bad.contains(character))
            bad += character;
        i += length;
    }
    return bad;
}

std::optional<QByteArray> Encode(const QString& text, QString* unrepresentable)
{
    if (unrepresentable)
        unrepresentable->clear();
    QStringEncoder encoder(kName);
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    // A character without a GBK form comes out as '?' (and sets the error flag); a character
    // with only a one-way mapping would come back different: both are refused.
    if (encoder.hasError() || Decode(bytes) != text) {
        const QString bad = Unrepresentable(text);
        if (!bad.isEmpty()) {
            if (unrepresentable)
                *unrepresentable = bad;
            return std::nullopt;
        }
    }
    return bytes;
}

QString Decode(QByteArrayView bytes)
{
    QStringDecoder decoder(kName);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QString QuoteEach(const QString& characters)
{
    QString out;
    for (qsizetype i = 0; i < characters.size();) {
        const qsizetype length =
            (characters.at(i).isHighSurrogate() && i + 1 < characters.size()) ? 2 : 1;
        out += QStringLiteral("“") + characters.mid(i, length) + QStringLiteral("”");
        i += length;
    }
    return out;
}

} // namespace naming::gbk
