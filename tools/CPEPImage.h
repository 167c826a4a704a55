#pragma once

#include "data/GaugeRecords.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The transducer's memory image (also the whole content of a .pep file) and
// the values of the editor's form: image -> form when an image is read,
// form -> image when one is written. Widget-free, so the editor, the command
// line and the tests share it.
namespace CPEPImage
{
constexpr int kSize = int(sizeof(PEPEepromImage));
constexpr int kVPathRows = 3;
constexpr int kVPathColumns = 10;

// Combo box items of the three typeWord fields, in index order; the last
// item of each is "Н/Д".
QStringList TypeItems();
QStringList ModeItems();
QStringList MaterialItems();

// The three row labels of the V-path table.
QStringList VPathRowLabels();

// What the form holds, field by field.
struct Form
{
    QString name;
    int typeIndex = 2;     // index into TypeItems()
    int modeIndex = 3;     // index into ModeItems()
    int materialIndex = 2; // index into MaterialItems()
    QString frequency;     // MHz as typed
    QString delay;         // ns
    QString probeLength;   // ns
    double rangeFrom = 0.0;
    double rangeTo = 0.0;
    QString serialNumber;
    // A null date is a date the image does not give (word 0 or FFFF, or no
    // real day): the editor then keeps the date it shows.
    QDate manufactureDate;
    QDate revisionDate;
    // Cell texts, [row][column]; an empty text is an empty (or missing) cell.
    QString vpath[kVPathRows][kVPathColumns];
};

// 128 FF bytes: the erased transducer and the editor's buffer at start.
PEPEepromImage Erased();

// Lays the first (at most 128) bytes of content over base: a shorter content
// leaves the rest of base as it was.
PEPEepromImage Overlay(const PEPEepromImage& base, const QByteArray& content);

QByteArray ToBytes(const PEPEepromImage& image);

// The checksum over the 128 bytes with the crc field taken as 0.
quint16 ComputeCrc(const PEPEepromImage& image);
bool CrcMatches(const PEPEepromImage& image);

// The form filled from an image (the checksum is not looked at).
Form ToForm(const PEPEepromImage& image);

// A .pep file's bytes (or a reply) laid over 128 FF bytes, the checksum
// judged and, when it matches, the fields decoded. Takes any bytes.
struct Decoded
{
    PEPEepromImage image;
    bool crcOk = false;
    Form form; // filled only when crcOk
};
Decoded DecodeFile(const QByteArray& bytes);

// The first (at most 128) bytes of a .pep file. False when the path is no
// regular file (a FIFO or a device would block or never end) or cannot be
// opened.
bool ReadFile(const QString& path, QByteArray* bytes);

// Rebuilds image from the form over its previous content and sets the
// checksum. The entries of V-path columns with an empty cell keep their
// bytes. Refuses (false, error = the warning naming the field and its limit,
// image untouched) a frequency or a lower range bound that does not fit its
// byte of tenths: wrapping would store another value than the one shown.
bool FromForm(const Form& form, PEPEepromImage* image, QString* error);

// Packed dates: bits 15-11 day, 10-7 month, 6-0 year - 2000. A null date
// for 0, FFFF or a word that is no real day.
QDate UnpackDate(quint16 word);
quint16 PackDate(const QDate& date);

// The image as "label, value" lines in the form's order, for the command
// line: dates not given show today.
QList<QPair<QString, QStringList>> ShowLines(const PEPEepromImage& image, const QDate& today);

// Message texts of the editor, shared with the command line.
QString CrcWarningText();
QString DeviceReadFailedText();
QString DeviceWriteFailedText();
QString FileReadFailedText();
QString FileWriteFailedText();
QString DeviceWrittenText();
QString FileSavedText();
QString WriteNotAllowedText();
} // namespace CPEPImage
