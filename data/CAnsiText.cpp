#include "data/CAnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>

namespace
{
const char* const s_codePage = "windows-1251";

// One character (one code point) in the code page. A character the code
// page lacks becomes '?', as the gauge's own keyboard would show it, rather
// than the converter's control-character substitute.
QByteArray EncodeCharacter(QStringEncoder& encoder, QStringView character)
{
    QByteArray bytes = encoder.encode(character);
    if (bytes == "\x1A" && character != QStringView(u"\x1A"))
        bytes = "?";
    return bytes;
}

qsizetype CharacterLength(const QString& text, qsizetype i)
{
    return (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
               ? 2
               : 1;
}
} // namespace

QString CAnsiText::Decode(const char* field, int size)
{
    if (!field || size <= 0)
        return {};
    const void* nul = std::memchr(field, 0, size_t(size));
    const int length = nul ? int(static_cast<const char*>(nul) - field) : size;
    QStringDecoder decoder(s_codePage, QStringConverter::Flag::Stateless);
    return decoder.decode(QByteArrayView(field, length));
}

QByteArray CAnsiText::ToAnsi(const QString& text)
{
    QStringEncoder encoder(s_codePage, QStringConverter::Flag::Stateless);
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size();)
    {
        const qsizetype length = CharacterLength(text, i);
        bytes += EncodeCharacter(encoder, QStringView(text).mid(i, length));
        i += length;
    }
    return bytes;
}

void CAnsiText::Encode(const QString& text, char* field, int size)
{
    if (!field || size <= 0)
        return;
    std::memset(field, 0, size_t(size));
    QStringEncoder encoder(s_codePage, QStringConverter::Flag::Stateless);
    int used = 0;
    // Character by character (a surrogate pair is one character), so that a
    // name too long for the field loses whole characters only.
    for (qsizetype i = 0; i < text.size();)
    {
        const qsizetype length = CharacterLength(text, i);
        const QByteArray bytes = EncodeCharacter(encoder, QStringView(text).mid(i, length));
        if (used + bytes.size() > size)
            break;
        std::memcpy(field + used, bytes.constData(), size_t(bytes.size()));
        used += int(bytes.size());
        i += length;
    }
}
