#include "tests/data/OldXmlReader.h"

#include "data/CXmlInputCheck.h"

#include <QIODevice>
#include <QXmlStreamReader>

namespace
{
bool IsLineBreakOrTab(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t');
}

// Appends text without its CR, LF and TAB characters.
void AppendWithoutLineBreaks(QString& target, QStringView text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
    {
        if (!IsLineBreakOrTab(text.at(i)))
            continue;
        if (i > start)
            target.append(text.mid(start, i - start));
        start = i + 1;
    }
    if (start < text.size())
        target.append(text.mid(start));
}

quint64 ChildKey(int parent, int foldedName)
{
    return (quint64(quint32(parent)) << 32) | quint32(foldedName);
}
} // namespace

void COldXmlReader::Clear()
{
    m_nodes.clear();
    m_texts.clear();
    m_root = -1;
    m_nameIndex.clear();
    m_names.clear();
    m_nameFolded.clear();
    m_foldedIndex.clear();
    m_firstChild.clear();
}

bool COldXmlReader::ParseFile(QIODevice* device)
{
    if (!device || !device->isReadable())
    {
        Clear();
        m_error = QStringLiteral("Device is not open for reading");
        return false;
    }
    return ParseData(device->readAll());
}

int COldXmlReader::InternName(QStringView name)
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

bool COldXmlReader::ParseData(const QByteArray& data)
{
    Clear();
    m_error.clear();
    // A document far from the shape of ours is refused before the reader
    // spends time and memory on it.
    m_error = CXmlInputCheck::Check(data);
    if (!m_error.isEmpty())
        return false;
    m_nodes.reserve(size_t(data.size() / 48 + 16));
    m_firstChild.reserve(data.size() / 48 + 16);

    QXmlStreamReader reader(data);
    reader.setNamespaceProcessing(false);

    int current = -1;
    // Character data is one run until any other markup interrupts it; the
    // reader may hand a run over in several pieces, which are joined here.
    bool inRun = false;

    while (!reader.atEnd())
    {
        switch (reader.readNext())
        {
        case QXmlStreamReader::DTD:
            // These files only name their root in the document type. Entity
            // declarations would let a small file expand into a huge one.
            if (!reader.entityDeclarations().isEmpty() ||
                reader.text().contains(QLatin1String("<!ENTITY")))
                reader.raiseError(QStringLiteral("Entity declarations are not supported"));
            inRun = false;
            break;
        case QXmlStreamReader::StartElement:
        {
            // Every distinct name costs a lookup entry of its own: a document
            // of ours has a few hundred.
            if (m_names.size() >= size_t(kMaxNames) && !m_nameIndex.count(reader.qualifiedName()))
            {
                reader.raiseError(
                    QStringLiteral("в файле больше %1 разных имён элементов").arg(kMaxNames));
                break;
            }
            const int index = int(m_nodes.size());
            Node node;
            node.parent = current;
            node.name = InternName(reader.qualifiedName());
            m_nodes.push_back(std::move(node));
            if (m_root < 0)
                m_root = index;
            else if (current >= 0)
            {
                m_nodes[size_t(current)].hasChildren = true;
                // Nodes arrive in document order: the first one of a name
                // under a parent is the one kept.
                const quint64 key = ChildKey(current, m_nameFolded[size_t(m_nodes.back().name)]);
                if (!m_firstChild.contains(key))
                    m_firstChild.insert(key, index);
            }
            current = index;
            inRun = false;
            break;
        }
        case QXmlStreamReader::EndElement:
            if (current >= 0)
            {
                const Node& node = m_nodes[size_t(current)];
                if (QStringView(m_names[size_t(node.name)])
                        .compare(reader.qualifiedName(), Qt::CaseInsensitive) == 0)
                    current = node.parent;
            }
            inRun = false;
            break;
        case QXmlStreamReader::Characters:
            if (current >= 0)
            {
                int& textIndex = m_nodes[size_t(current)].text;
                if (textIndex < 0)
                {
                    textIndex = int(m_texts.size());
                    m_texts.emplace_back();
                }
                QString& text = m_texts[size_t(textIndex)];
                // A CDATA section is reported as a run of its own.
                if (!inRun || reader.isCDATA())
                    text.resize(0);
                AppendWithoutLineBreaks(text, reader.text());
            }
            inRun = !reader.isCDATA();
            break;
        default:
            inRun = false;
            break;
        }
    }

    if (reader.hasError())
    {
        m_error = reader.errorString();
        if (m_error.isEmpty())
            m_error = QStringLiteral("The document is not well-formed");
        Clear();
        return false;
    }
    return true;
}

bool COldXmlReader::CheckRootName(const QString& name) const
{
    return m_root >= 0 &&
           m_names[size_t(m_nodes[size_t(m_root)].name)].compare(name, Qt::CaseInsensitive) == 0;
}

int COldXmlReader::NameKey(QStringView name) const
{
    if (name.isEmpty())
        return -1;
    return m_foldedIndex.value(name.toString().toCaseFolded(), -1);
}

int COldXmlReader::FindChild(int node, int nameKey) const
{
    if (node < 0 || node >= int(m_nodes.size()) || nameKey < 0 ||
        !m_nodes[size_t(node)].hasChildren)
        return -1;
    return m_firstChild.value(ChildKey(node, nameKey), -1);
}

int COldXmlReader::FindChild(int node, QStringView name) const
{
    return FindChild(node, NameKey(name));
}

int COldXmlReader::FindNode(QStringView key) const
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

QString COldXmlReader::NodeText(int node) const
{
    if (node < 0 || node >= int(m_nodes.size()))
        return {};
    const int text = m_nodes[size_t(node)].text;
    return text < 0 ? QString() : m_texts[size_t(text)];
}

QString COldXmlReader::GetValue(const QString& key) const
{
    return NodeText(FindNode(key));
}
