#include "gbk.h"

#include <QList>
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

QString Unrepresentable(const QString& text)
{
    QString bad;
    for (const uint code : text.toUcs4()) {
        const QString character = QStringView(QChar::fromUcs4(code)).toString();
        if (!RoundTrips(character) && !bad.contains(character))
            bad += character;
    }
    return bad;
}

std::optional<QByteArray> Encode(const QString& text)
{
    QStringEncoder encoder(kName);
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    // A character without a GBK form comes out as '?' (and sets the error flag); a character
    // with only a one-way mapping would come back different: both are refused.
    if ((encoder.hasError() || Decode(bytes) != text) && !Unrepresentable(text).isEmpty())
        return std::nullopt;
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
    for (const uint code : characters.toUcs4())
        out += QStringLiteral("“%1”").arg(QChar::fromUcs4(code));
    return out;
}

} // namespace naming::gbk
