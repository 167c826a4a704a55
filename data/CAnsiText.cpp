#include "data/CAnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>

namespace
{
const char* const s_codePage = "windows-1251";
}

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
    return encoder.encode(text);
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
        qsizetype length = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            length = 2;
        const QByteArray bytes = encoder.encode(QStringView(text).mid(i, length));
        if (used + bytes.size() > size)
            break;
        std::memcpy(field + used, bytes.constData(), size_t(bytes.size()));
        used += int(bytes.size());
        i += length;
    }
}
