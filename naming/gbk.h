// GBK (code page 936) text <-> bytes, the encoding of name.txt. Backed by Qt's ICU converter
// built from the name "GBK".
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace naming::gbk {

// The text's GBK bytes, or nothing when some character has no GBK form (Unrepresentable names
// them) or GBK is unavailable.
std::optional<QByteArray> Encode(const QString& text);

// The characters of `text` that GBK cannot hold (each once, in order of first use); empty if none.
QString Unrepresentable(const QString& text);

// GBK bytes as text; bytes that are not GBK become U+FFFD.
QString Decode(QByteArrayView bytes);

// "“X”“Y”", the characters quoted one by one, for messages.
QString QuoteEach(const QString& characters);

} // namespace naming::gbk
