#pragma once

#include <QByteArray>
#include <QString>

// 8-bit texts of the gauge's records (file, material and transducer names).
// The gauge works in the Cyrillic Windows code page, so that is the one used
// at the edges between the records and the program's Unicode texts.
namespace CAnsiText
{
// Decodes a fixed-size field: reads up to the first zero byte and never past
// the field's end.
QString Decode(const char* field, int size);

// Zero-fills the field and converts text into it. A text that does not fit
// is cut at a character boundary so that the field keeps whole characters.
void Encode(const QString& text, char* field, int size);

// The whole text in the code page (characters it lacks become '?').
QByteArray ToAnsi(const QString& text);
} // namespace CAnsiText
