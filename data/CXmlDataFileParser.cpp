#include "data/CXmlDataFileParser.h"

#include "data/CXmlInputCheck.h"

#include <QIODevice>

#include <algorithm>
#include <iterator>
#include <cstring>
#include <cstdarg>
#include <cstdio>
#include <libxml/parser.h>
#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

namespace
{
QString Utf8(const xmlChar* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

// libxml2 keeps process-wide tables; they are set up once, before the first
// parse on any thread.
void InitLibXml()
{
    static const bool done = []
    {
        xmlInitParser();
        return true;
    }();
    (void)done;
}

struct PointerPairHash
{
    size_t operator()(const std::pair<const xmlChar*, const xmlChar*>& p) const noexcept
    {
        return std::hash<const void*>()(p.first) * 31u + std::hash<const void*>()(p.second);
    }
};

// Collects the first message libxml2 tells the generic error handler (it
// comes in pieces of a printf format, ending in a line break; what follows
// repeats it or is its consequence).
void KeepContextlessError(void* context, const char* format, ...)
{
    auto* kept = static_cast<QByteArray*>(context);
    if (kept->endsWith('\n') || kept->size() >= 1024)
        return;
    char piece[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(piece, sizeof(piece), format, args);
    va_end(args);
    kept->append(piece);
}

QString Position(int line, int column)
{
    return QStringLiteral("строка %1, столбец %2: ").arg(line).arg(column);
}
} // namespace

// The SAX events of one parse, turned into the parser's tree.
struct CXmlDataFileParserSax
{
    CXmlDataFileParserSax(CXmlDataFileParser& parsed, xmlParserCtxtPtr context)
        : tree(parsed), ctxt(context)
    {
    }

    CXmlDataFileParser& tree;
    xmlParserCtxtPtr ctxt;
    int current = -1;
    // Character data is one run until any other markup interrupts it;
    // libxml2 hands a run over in pieces (references, buffer ends), which
    // are joined here.
    bool inRun = false;
    QString error;      // our own reason to stop, with its position
    QString firstFatal; // libxml2's first error that made the document unreadable
    QString firstError; // and its first error of any kind
    // libxml2 hands every element name over as pointers into the parse's
    // own dictionary (prefix and local part): equal names, equal pointers,
    // valid until the parse ends.
    std::unordered_map<std::pair<const xmlChar*, const xmlChar*>, int, PointerPairHash> names;

    void Stop(const QString& reason)
    {
        if (error.isEmpty())
            error = Position(xmlSAX2GetLineNumber(ctxt), xmlSAX2GetColumnNumber(ctxt)) + reason;
        xmlStopParser(ctxt);
    }

    // The names last seen, by their pointer's bits: a hit spares the map's
    // hashing (a division) on each of a full database's 38 000 elements.
    struct Recent
    {
        const xmlChar* localName = nullptr;
        const xmlChar* prefix = nullptr;
        int id = -1;
    };
    Recent recent[1024];

    int NameOf(const xmlChar* localName, const xmlChar* prefix)
    {
        Recent& slot = recent[(reinterpret_cast<quintptr>(localName) >> 3) % std::size(recent)];
        if (slot.localName == localName && slot.prefix == prefix)
            return slot.id;
        const int id = LookUpName(localName, prefix);
        if (id >= 0)
            slot = {localName, prefix, id};
        return id;
    }

    int LookUpName(const xmlChar* localName, const xmlChar* prefix)
    {
        const auto found = names.find({localName, prefix});
        if (found != names.end())
            return found->second;
        QString qName = Utf8(localName);
        if (prefix)
            qName = Utf8(prefix) + QLatin1Char(':') + qName;
        // Every distinct name costs a lookup entry of its own: a document of
        // ours has a few hundred.
        if (tree.m_names.size() >= size_t(CXmlDataFileParser::kMaxNames) &&
            !tree.m_nameIndex.count(qName))
            return -1;
        const int id = tree.InternName(qName);
        names.emplace(std::make_pair(localName, prefix), id);
        return id;
    }

    void StartElement(const xmlChar* localName, const xmlChar* prefix)
    {
        inRun = false;
        const int name = NameOf(localName, prefix);
        if (name < 0)
        {
            Stop(QStringLiteral("в файле больше %1 разных имён элементов")
                     .arg(CXmlDataFileParser::kMaxNames));
            return;
        }
        const int index = int(tree.m_nodes.size());
        CXmlDataFileParser::Node node;
        node.parent = current;
        node.name = name;
        tree.m_nodes.push_back(node);
        if (tree.m_root < 0)
            tree.m_root = index;
        else if (current >= 0)
            tree.m_nodes[size_t(current)].hasChildren = true;
        current = index;
    }

    void EndElement()
    {
        inRun = false;
        if (current >= 0)
            current = tree.m_nodes[size_t(current)].parent;
    }

    // Appends to the current element's text without CR, LF and TAB; a new
    // run first drops what the element held.
    void Text(const xmlChar* bytes, int length, bool newRun)
    {
        if (current < 0)
            return;
        CXmlDataFileParser::Node& node = tree.m_nodes[size_t(current)];
        QByteArray& store = tree.m_textBytes;
        if (newRun || node.textStart < 0)
        {
            // The element's previous run, when it was the last thing stored,
            // is overwritten rather than left behind.
            if (node.textStart >= 0 && node.textStart + node.textLength == store.size())
                store.truncate(node.textStart);
            node.textStart = int(store.size());
            node.textLength = 0;
        }
        const char* p = reinterpret_cast<const char*>(bytes);
        const char* end = p + length;
        const qsizetype before = store.size();
        while (p < end)
        {
            const char* q = p;
            while (q < end && *q != '\n' && *q != '\r' && *q != '\t')
                ++q;
            store.append(p, q - p);
            p = q + 1;
        }
        node.textLength += int(store.size() - before);
    }

    void Characters(const xmlChar* bytes, int length)
    {
        Text(bytes, length, !inRun);
        inRun = true;
    }

    void Cdata(const xmlChar* bytes, int length)
    {
        // A CDATA section is a run of its own.
        Text(bytes, length, true);
        inRun = false;
    }

    static CXmlDataFileParserSax& Of(void* ctx)
    {
        return *static_cast<CXmlDataFileParserSax*>(ctx);
    }

    static xmlSAXHandler Handler()
    {
        xmlSAXHandler sax;
        std::memset(&sax, 0, sizeof(sax));
        // SAX2 with structured errors: element names come as dictionary
        // pointers, and errors reach this parse only, not a process-wide
        // handler.
        sax.initialized = XML_SAX2_MAGIC;
        sax.startElementNs = [](void* ctx, const xmlChar* localName, const xmlChar* prefix,
                                const xmlChar*, int, const xmlChar**, int, int, const xmlChar**)
        { Of(ctx).StartElement(localName, prefix); };
        sax.endElementNs = [](void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
        { Of(ctx).EndElement(); };
        sax.characters = [](void* ctx, const xmlChar* ch, int len) { Of(ctx).Characters(ch, len); };
        sax.ignorableWhitespace = sax.characters;
        sax.cdataBlock = [](void* ctx, const xmlChar* ch, int len) { Of(ctx).Cdata(ch, len); };
        sax.comment = [](void* ctx, const xmlChar*) { Of(ctx).inRun = false; };
        sax.processingInstruction = [](void* ctx, const xmlChar*, const xmlChar*)
        { Of(ctx).inRun = false; };
        // An undeclared entity in a document with an external document type
        // (which is never loaded) stays a reference: it ends the run.
        sax.reference = [](void* ctx, const xmlChar*) { Of(ctx).inRun = false; };
        // These files only name their root in the document type. Entity
        // declarations would let a small file expand into a huge one; none
        // is stored, and the first one ends the parse.
        sax.entityDecl =
            [](void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*)
        { Of(ctx).Stop(QStringLiteral("объявления сущностей не поддерживаются")); };
        sax.unparsedEntityDecl =
            [](void* ctx, const xmlChar*, const xmlChar*, const xmlChar*, const xmlChar*)
        { Of(ctx).Stop(QStringLiteral("объявления сущностей не поддерживаются")); };
        sax.serror = [](void* ctx, xmlErrorPtr e)
        {
            CXmlDataFileParserSax& self = Of(ctx);
            // Warnings and namespace errors do not make a document unreadable.
            if (!e || e->level < XML_ERR_ERROR || e->domain == XML_FROM_NAMESPACE)
                return;
            QString& kept = e->level == XML_ERR_FATAL ? self.firstFatal : self.firstError;
            if (kept.isEmpty())
                kept = Position(e->line, e->int2) + QString::fromUtf8(e->message).trimmed();
        };
        return sax;
    }
};

void CXmlDataFileParser::Clear()
{
    m_nodes.clear();
    m_textBytes.clear();
    m_root = -1;
    m_nameIndex.clear();
    m_names.clear();
    m_nameFolded.clear();
    m_foldedIndex.clear();
    m_childStart.clear();
    m_children.clear();
}

void CXmlDataFileParser::IndexChildren()
{
    const size_t count = m_nodes.size();
    m_childStart.assign(count + 1, 0);
    for (const Node& node : m_nodes)
        if (node.parent >= 0)
            ++m_childStart[size_t(node.parent) + 1];
    for (size_t i = 0; i < count; ++i)
        m_childStart[i + 1] += m_childStart[i];
    m_children.resize(size_t(m_childStart[count]));
    std::vector<int> fill(m_childStart.begin(), m_childStart.end() - 1);
    // Nodes are numbered in document order, and so each parent's children
    // come out.
    for (size_t i = 0; i < count; ++i)
    {
        const Node& node = m_nodes[i];
        if (node.parent >= 0)
            m_children[size_t(fill[size_t(node.parent)]++)] = {m_nameFolded[size_t(node.name)],
                                                               int(i)};
    }
    const auto before = [](const ChildRef& a, const ChildRef& b)
    { return a.folded < b.folded || (a.folded == b.folded && a.node < b.node); };
    for (size_t i = 0; i < count; ++i)
    {
        const auto first = m_children.begin() + m_childStart[i];
        const auto last = m_children.begin() + m_childStart[i + 1];
        // Files of one shape repeat their names in one order: mostly sorted.
        if (!std::is_sorted(first, last, before))
            std::sort(first, last, before);
    }
}

bool CXmlDataFileParser::ParseFile(QIODevice* device)
{
    if (!device || !device->isReadable())
    {
        Clear();
        m_error = QStringLiteral("Device is not open for reading");
        return false;
    }
    return ParseData(device->readAll());
}

int CXmlDataFileParser::InternName(QStringView name)
{
    const auto it = m_nameIndex.find(name);
    if (it != m_nameIndex.end())
        return it->second;
    const int id = int(m_names.size());
    m_names.push_back(name.toString());
    const QString folded = m_names.back().toCaseFolded();
    int foldedId = m_foldedIndex.value(folded, -1);
    if (foldedId < 0)
    {
        foldedId = int(m_foldedIndex.size());
        m_foldedIndex.insert(folded, foldedId);
    }
    m_nameFolded.push_back(foldedId);
    // The view points at the string's own data, which stays where it is
    // when the vector moves its QString objects.
    m_nameIndex.emplace(QStringView(m_names.back()), id);
    return id;
}

bool CXmlDataFileParser::ParseData(const QByteArray& data)
{
    Clear();
    m_error.clear();
    // A document far from the shape of ours is refused before the reader
    // spends time and memory on it.
    m_error = CXmlInputCheck::Check(data);
    if (!m_error.isEmpty())
        return false;
    if (data.isEmpty())
    {
        // libxml2 makes no parser for no bytes; its own words for them.
        m_error = Position(1, 1) + QStringLiteral("Document is empty");
        return false;
    }
    InitLibXml();
    m_nodes.reserve(size_t(data.size() / 48 + 16));
    m_textBytes.reserve(data.size() / 2 + 16);

    // The whole buffer in one pull parse: a CDATA section then always comes
    // in one piece, and nothing is copied in chunks.
    xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(data.constData(), int(data.size()));
    if (!ctxt)
    {
        m_error = QStringLiteral("недостаточно памяти для разбора файла");
        return false;
    }
    CXmlDataFileParserSax sax(*this, ctxt);
    // No entity substitution, no document type loading, nothing from the
    // network.
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOWARNING);
    *ctxt->sax = CXmlDataFileParserSax::Handler();
    ctxt->userData = &sax;
    // A few failures (bytes the declared encoding cannot convert) are told
    // without the parse's context, to the generic error handler, which
    // prints to stderr: kept here, for this thread and this parse only.
    QByteArray contextless;
    const xmlGenericErrorFunc previousHandler = xmlGenericError;
    void* const previousContext = xmlGenericErrorContext;
    xmlSetGenericErrorFunc(&contextless, KeepContextlessError);
    xmlParseDocument(ctxt);
    xmlSetGenericErrorFunc(previousContext, previousHandler);
    const bool wellFormed = ctxt->wellFormed != 0 && sax.error.isEmpty();
    if (!wellFormed)
    {
        m_error = !sax.error.isEmpty() ? sax.error
                  : !contextless.isEmpty()
                      ? Position(xmlSAX2GetLineNumber(ctxt), xmlSAX2GetColumnNumber(ctxt)) +
                            QString::fromUtf8(contextless).simplified()
                  : !sax.firstFatal.isEmpty() ? sax.firstFatal
                                              : sax.firstError;
        if (m_error.isEmpty())
        {
            const xmlError* last = xmlCtxtGetLastError(ctxt);
            m_error = last && last->message ? Position(last->line, last->int2) +
                                                  QString::fromUtf8(last->message).trimmed()
                                            : QStringLiteral("документ не является правильным XML");
        }
    }
    xmlFreeParserCtxt(ctxt);
    if (!wellFormed)
    {
        Clear();
        return false;
    }
    IndexChildren();
    return true;
}

bool CXmlDataFileParser::CheckRootName(const QString& name) const
{
    return m_root >= 0 &&
           m_names[size_t(m_nodes[size_t(m_root)].name)].compare(name, Qt::CaseInsensitive) == 0;
}

int CXmlDataFileParser::NameKey(QStringView name) const
{
    if (name.isEmpty())
        return -1;
    return m_foldedIndex.value(name.toString().toCaseFolded(), -1);
}

int CXmlDataFileParser::FindChild(int node, int nameKey) const
{
    if (node < 0 || node >= int(m_nodes.size()) || nameKey < 0 ||
        !m_nodes[size_t(node)].hasChildren)
        return -1;
    // A binary search whose step is a conditional move, not a branch: the
    // halves it picks follow no pattern a predictor could learn.
    const ChildRef* base = m_children.data() + m_childStart[size_t(node)];
    size_t count = size_t(m_childStart[size_t(node) + 1] - m_childStart[size_t(node)]);
    if (count == 0)
        return -1;
    while (count > 1)
    {
        const size_t half = count / 2;
        base = base[half - 1].folded < nameKey ? base + half : base;
        count -= half;
    }
    return base->folded == nameKey ? base->node : -1;
}

int CXmlDataFileParser::FindChild(int node, QStringView name) const
{
    return FindChild(node, NameKey(name));
}

int CXmlDataFileParser::FindNode(QStringView key) const
{
    if (m_root < 0 || !m_nodes[size_t(m_root)].hasChildren)
        return -1;
    int node = m_root;
    qsizetype start = 0;
    while (true)
    {
        const qsizetype dot = key.indexOf(QLatin1Char('.'), start);
        const QStringView part = dot < 0 ? key.mid(start) : key.mid(start, dot - start);
        node = FindChild(node, part);
        if (node < 0)
            return -1;
        if (dot < 0)
            return node;
        start = dot + 1;
    }
}

QString CXmlDataFileParser::NodeText(int node) const
{
    if (node < 0 || node >= int(m_nodes.size()))
        return {};
    const Node& n = m_nodes[size_t(node)];
    if (n.textStart < 0)
        return {};
    return QString::fromUtf8(m_textBytes.constData() + n.textStart, n.textLength);
}

QString CXmlDataFileParser::GetValue(const QString& key) const
{
    return NodeText(FindNode(key));
}
