#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <unordered_map>
#include <vector>

class QIODevice;

// Reader of the program's XML key files (database, data file, report). It
// builds a light tree of the whole document and then answers lookups by
// dotted keys below the root ("FILE3.NAME").
//
// Reading rules the stored files rely on:
//  - element names are compared ignoring case, and among siblings of the same
//    name the first one in document order answers;
//  - attributes are ignored;
//  - an element's text is the last run of character data seen while it was
//    the innermost open element, with CR, LF and TAB removed;
//  - a key with an empty part, or whose last part does not resolve, gives an
//    empty text; the root's own name is not part of a key.
class CXmlDataFileParser
{
public:
    CXmlDataFileParser() = default;

    // A document with more distinct element names than this is refused (a
    // full database has about 420).
    static constexpr int kMaxNames = 4096;

    // Reads the whole document from an open device. False when it is not
    // well-formed (or declares entities, which these files never do), or
    // when it is far from the shape of our files (CXmlInputCheck, kMaxNames);
    // errorString() then tells why ("строка L, столбец C: " and libxml2's
    // words when the parser stopped) and the tree stays empty.
    bool ParseFile(QIODevice* device);
    bool ParseData(const QByteArray& data);

    // True when the document has a root whose name equals name ignoring case.
    bool CheckRootName(const QString& name) const;

    // The text of the element a dotted key addresses; empty when the key does
    // not resolve.
    QString GetValue(const QString& key) const;

    QString errorString() const { return m_error; }

    // Lookups for loaders that read many keys below one element. Nodes are
    // numbered; -1 stands for "no such node" and is accepted everywhere.
    int RootNode() const { return m_root; }
    int FindNode(QStringView key) const;             // node of a dotted key
    int FindChild(int node, QStringView name) const; // first child of that name
    // A name looked up once and then used for many nodes (-1 when no element
    // of the document has that name, in any case).
    int NameKey(QStringView name) const;
    int FindChild(int node, int nameKey) const;
    QString NodeText(int node) const;

private:
    struct Node
    {
        int parent = -1;
        int name = -1;      // index into m_names
        int textStart = -1; // offset into m_textBytes, -1 while the element has none
        int textLength = 0; // UTF-8 bytes
        bool hasChildren = false;
    };
    struct ViewHash
    {
        size_t operator()(QStringView v) const noexcept { return qHash(v); }
    };
    friend struct CXmlDataFileParserSax;

    void Clear();
    int InternName(QStringView name);

    // Texts apart from the nodes, as the parser hands them over (UTF-8, CR,
    // LF and TAB already removed), one after the other: most elements of a
    // document only group others, and a text becomes a QString only when it
    // is asked for.
    std::vector<Node> m_nodes;
    QByteArray m_textBytes;
    int m_root = -1;
    QString m_error;

    // Every distinct element name once, with its case-folded form's number.
    std::vector<QString> m_names;
    std::vector<int> m_nameFolded;
    std::unordered_map<QStringView, int, ViewHash> m_nameIndex;
    QHash<QString, int> m_foldedIndex;
    // The children of every node, grouped by parent and, within a parent, by
    // folded name and then document order: the first child of a name is
    // found by a binary search over a few neighbouring entries (a full
    // database asks some 40 000 times, file after file).
    struct ChildRef
    {
        int folded;
        int node;
    };
    std::vector<int> m_childStart; // per node, into m_children; one more at the end
    std::vector<ChildRef> m_children;
    void IndexChildren();
};
