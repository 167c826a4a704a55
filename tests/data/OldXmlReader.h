// The QXmlStreamReader-based key-file reader as it was before libxml2, kept
// only to compare the two readers on many documents.
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
class COldXmlReader
{
public:
    COldXmlReader() = default;
    int NodeCount() const { return int(m_nodes.size()); }
    QString NodeName(int node) const { return m_names[size_t(m_nodes[size_t(node)].name)]; }
    int NodeParent(int node) const { return m_nodes[size_t(node)].parent; }

    // A document with more distinct element names than this is refused (a
    // full database has about 420).
    static constexpr int kMaxNames = 4096;

    // Reads the whole document from an open device. False when it is not
    // well-formed (or declares entities, which these files never do), or
    // when it is far from the shape of our files (CXmlInputCheck, kMaxNames);
    // errorString() then tells why and the tree stays empty.
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
        int name = -1; // index into m_names
        int text = -1; // index into m_texts, -1 while the element has none
        bool hasChildren = false;
    };
    struct ViewHash
    {
        size_t operator()(QStringView v) const noexcept { return qHash(v); }
    };

    void Clear();
    int InternName(QStringView name);

    // Texts apart from the nodes: most elements of a document only group
    // others, and a node stays small (memory while loading stays a few
    // times the file's size whatever its shape).
    std::vector<Node> m_nodes;
    std::vector<QString> m_texts;
    int m_root = -1;
    QString m_error;

    // Every distinct element name once, with its case-folded form's number.
    std::vector<QString> m_names;
    std::vector<int> m_nameFolded;
    std::unordered_map<QStringView, int, ViewHash> m_nameIndex;
    QHash<QString, int> m_foldedIndex;
    // (parent node, folded name) -> first child of that name in document order.
    QHash<quint64, int> m_firstChild;
};
