#pragma once

#include <QByteArray>
#include <QString>

// A quick look at the raw bytes of a key file before the XML reader sees
// them. Our files are a few levels of elements without attributes holding
// short texts; a document far from that shape is refused here in one cheap
// pass, because the reader's cost on it is not: duplicate-attribute checks
// grow with the square of an element's attributes (100 000 of them stall a
// load for 19 s), and every element, name and nesting level costs memory.
//
// The limits are far above anything the program writes (a full database has
// about 39 000 elements three levels deep and no attributes), so no real
// file comes near them. Attributes stay ignored as long as there are few.
namespace CXmlInputCheck
{
constexpr int kMaxElements = 100000;
constexpr int kMaxDepth = 64;
constexpr int kMaxAttributes = 1000;    // in the whole document
constexpr int kMaxReferences = 1000000; // "&...;" in the whole document
constexpr qint64 kMaxTextRun = 1 << 20; // bytes of one run of character data
// Bytes of character data (texts, CDATA, comments, processing
// instructions) and of tags in the whole document: what the reader has to
// chew, kept to what it does within the load time allowed.
constexpr qint64 kMaxTextBytes = 8LL << 20;
constexpr qint64 kMaxTagBytes = 8LL << 20;

// Empty when the document may be given to the reader; otherwise why not
// (Russian, naming the limit). Not a well-formedness check: the reader
// still does that. A document type with an internal subset (entity or
// attribute declarations, which our files never have) is refused here too,
// and so is a document whose bytes are not the reader's characters: one in
// an encoding other than UTF-8, ASCII or a single-byte code page (UTF-16,
// UTF-7, EBCDIC...), by its byte-order mark, first bytes or declaration.
QString Check(const QByteArray& data);
} // namespace CXmlInputCheck
