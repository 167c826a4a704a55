// Compares the libxml2 key-file reader with the QXmlStreamReader one it
// replaces: on files given as arguments (files or folders) and on generated
// documents and byte mutations of them. Prints the counts and every class of
// difference with examples.
//
//   xml_differential [--generated N] [--mutants M] [--seed S] [--examples DIR] PATH...

#include "data/CXmlDataFileParser.h"
#include "tests/data/OldXmlReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <cstdio>
#include <random>

namespace
{
std::mt19937 rng;

int Pick(int n)
{
    return int(rng() % unsigned(n));
}

template <typename T, size_t N> const T& PickOf(const T (&items)[N])
{
    return items[Pick(int(N))];
}

QByteArray RandomCase(QByteArray name)
{
    for (char& c : name)
        if (Pick(4) == 0 && std::isalpha(static_cast<unsigned char>(c)))
            c = char(Pick(2) ? std::toupper(c) : std::tolower(c));
    return name;
}

QByteArray Name()
{
    static const char* const names[] = {"FILES",     "FILE1",
                                        "FILE2",     "NAME",
                                        "DATA_ROW1", "DATA_ROW2",
                                        "RECORDS",   "AUDIO_INDEX",
                                        "A",         "b",
                                        "x:y",       "\xD0\xA2\xD1\x80",
                                        "_n.m-1",    "KorvalentDatabase"};
    return RandomCase(PickOf(names));
}

QByteArray TextPiece()
{
    static const char* const pieces[] = {"abc",        " ",
                                         "  lead ",    "\n",
                                         "\r\n",       "\r",
                                         "\t",         "x\ty",
                                         "&amp;",      "&lt;",
                                         "&gt;",       "&quot;",
                                         "&apos;",     "&#65;",
                                         "&#x41;",     "&#x9;",
                                         "&#13;",      "&#10;",
                                         "&#xD;",      "&#1055;",
                                         "&#x10FFFF;", "\xD0\xA2\xD1\x80\xD1\x83\xD0\xB1\xD0\xB0",
                                         "12345",      "AAECAwQFBgcICQoLDA0ODxAREhMUFRY=",
                                         "]",          "]]",
                                         ">",          "'\"",
                                         "&#x20;",     "\xE2\x82\xAC"};
    return PickOf(pieces);
}

QByteArray Markup()
{
    switch (Pick(6))
    {
    case 0:
        return "<![CDATA[" + QByteArray(Pick(2) ? "<x>&amp;" : "") + TextPiece().replace("]]", "") +
               "]]>";
    case 1:
        return "<!--" + TextPiece().replace("-", "") + "-->";
    case 2:
        return "<?pi " + TextPiece().replace("?", "") + "?>";
    case 3:
        return "<![CDATA[]]>";
    default:
        return TextPiece();
    }
}

QByteArray Attributes()
{
    QByteArray out;
    const int n = Pick(6) == 0 ? 1 + Pick(3) : 0;
    for (int i = 0; i < n; ++i)
        out += " a" + QByteArray::number(i) + (Pick(2) ? "='v&amp;\"'" : "=\"1 > 0\"");
    if (Pick(20) == 0)
        out += " xmlns:x='urn:x'";
    return out;
}

void Element(QByteArray& out, int depth)
{
    const QByteArray name = Name();
    const QByteArray attributes = Attributes();
    if (Pick(8) == 0)
    {
        out += "<" + name + attributes + (Pick(2) ? "/>" : " />");
        return;
    }
    out += "<" + name + attributes + ">";
    const int items = Pick(5);
    for (int i = 0; i < items; ++i)
    {
        if (depth < 4 && Pick(3) == 0)
            Element(out, depth + 1);
        else
            out += Markup();
    }
    // The writer's own shape: a value on one line, an indented group.
    if (Pick(3) == 0)
        out += "\n" + QByteArray(depth, ' ');
    out += "</" + name + ">";
}

QByteArray Document()
{
    QByteArray out;
    switch (Pick(8))
    {
    case 0:
        out += "<?xml version=\"1.0\"?>\n";
        break;
    case 1:
        out += "<?xml version='1.0' encoding='UTF-8'?>";
        break;
    case 2:
        out += "<?xml version=\"1.0\" encoding=\"windows-1251\"?>";
        break;
    case 3:
        out += "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>\n";
        break;
    default:
        break;
    }
    static const char* const roots[] = {"KorvalentDatabase", "KorvalentDataFile", "KorvalentReport",
                                        "R"};
    const QByteArray root = RandomCase(PickOf(roots));
    if (Pick(2))
        out += "<!DOCTYPE " + root + (Pick(6) == 0 ? " SYSTEM \"k.dtd\"" : "") + ">\n";
    out += "<" + root + ">\n";
    const int children = Pick(8);
    for (int i = 0; i < children; ++i)
    {
        out += QByteArray(Pick(3), ' ');
        Element(out, 1);
        out += Pick(4) ? "\n" : "\r\n";
    }
    out += "</" + root + ">" + (Pick(2) ? "\n" : "");
    if (Pick(10) == 0)
        out.replace("\n", "\r\n");
    return out;
}

QByteArray Mutate(QByteArray doc)
{
    static const char* const tokens[] = {"<",
                                         ">",
                                         "&",
                                         "]]>",
                                         "<!--",
                                         "<![CDATA[",
                                         "\r",
                                         "\xC3",
                                         "\xFF",
                                         "\xD0",
                                         "&#0;",
                                         "&#xD800;",
                                         "&nbsp;",
                                         "</A>",
                                         "<A>",
                                         "'",
                                         "\"",
                                         "=",
                                         ":",
                                         "\x01",
                                         "<!ENTITY e 'x'>",
                                         "<!DOCTYPE r [<!ENTITY e 'x'>]>",
                                         "&e;",
                                         "xmlns:a='u'",
                                         " a='1' a='2'",
                                         "<?xml version='1.0'?>",
                                         "\xEF\xBB\xBF",
                                         "-->",
                                         "?>"};
    const int steps = 1 + Pick(3);
    for (int s = 0; s < steps && !doc.isEmpty(); ++s)
    {
        const int at = Pick(int(doc.size()));
        switch (Pick(5))
        {
        case 0:
            doc[at] = char(doc[at] ^ (1 << Pick(8)));
            break;
        case 1:
            doc.remove(at, 1 + Pick(4));
            break;
        case 2:
            doc.insert(at, PickOf(tokens));
            break;
        case 3:
            doc.insert(at, doc.mid(Pick(int(doc.size())), 1 + Pick(12)));
            break;
        default:
            doc[at] = char(Pick(256));
            break;
        }
    }
    return doc;
}

// The key of a node of the old tree: its names below the root.
QString KeyOf(const COldXmlReader& old, int node)
{
    QStringList parts;
    for (int n = node; n >= 0 && old.NodeParent(n) >= 0; n = old.NodeParent(n))
        parts.prepend(old.NodeName(n));
    return parts.join(QLatin1Char('.'));
}

// What a refusal says, without positions and names, to group refusals.
QString ErrorClass(QString error)
{
    static const QRegularExpression position(QStringLiteral("^строка \\d+, столбец \\d+: "));
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    static const QRegularExpression quoted(
        QStringLiteral("'[^']*'|\"[^\"]*\"|: \\S+ line \\S+ and \\S+|Bytes: .*"));
    error.remove(position);
    error.replace(quoted, QStringLiteral("…"));
    error.replace(digits, QStringLiteral("N"));
    return error.left(90);
}

struct Counts
{
    int documents = 0, bothAccept = 0, bothRefuse = 0, sameRefusal = 0, lookups = 0;
    int onlyOldAccepts = 0, onlyNewAccepts = 0, treeDifferences = 0;
    QMap<QString, int> classes;
    QMap<QString, QByteArray> example;
};

void Compare(const QByteArray& doc, const QString& origin, Counts& c, const QString& examples)
{
    ++c.documents;
    COldXmlReader old;
    CXmlDataFileParser parser;
    const bool oldOk = old.ParseData(doc);
    const bool newOk = parser.ParseData(doc);
    QString cls;
    if (!oldOk && !newOk)
    {
        ++c.bothRefuse;
        if (old.errorString() == parser.errorString())
            ++c.sameRefusal;
        return;
    }
    if (oldOk != newOk)
    {
        (oldOk ? c.onlyOldAccepts : c.onlyNewAccepts)++;
        cls = oldOk ? QStringLiteral("only old accepts; new: ") + ErrorClass(parser.errorString())
                    : QStringLiteral("only new accepts; old: ") + ErrorClass(old.errorString());
    }
    else
    {
        ++c.bothAccept;
        QStringList keys = {QStringLiteral("FILES"),
                            QStringLiteral("FILE1.NAME"),
                            QStringLiteral("FILE1.DATA_ROW1"),
                            QStringLiteral("NAME"),
                            QStringLiteral("A.B"),
                            QStringLiteral("A..B"),
                            QString()};
        QString diff;
        for (int i = 0; i < old.NodeCount() && diff.isEmpty(); ++i)
        {
            keys << KeyOf(old, i);
            if (old.NodeText(i) != parser.NodeText(i))
                diff = QStringLiteral("node %1 text '%2' vs '%3'")
                           .arg(i)
                           .arg(old.NodeText(i), parser.NodeText(i));
        }
        if (diff.isEmpty() && old.NodeCount() > 0 &&
            !parser.CheckRootName(old.NodeName(old.RootNode())))
            diff = QStringLiteral("root name");
        if (diff.isEmpty() && !parser.NodeText(old.NodeCount()).isNull())
            diff = QStringLiteral("new has more nodes");
        for (const QString& key : keys)
        {
            ++c.lookups;
            if (diff.isEmpty() && (old.FindNode(key) != parser.FindNode(key) ||
                                   old.GetValue(key) != parser.GetValue(key)))
                diff = QStringLiteral("key '%1': '%2' vs '%3'")
                           .arg(key, old.GetValue(key), parser.GetValue(key));
        }
        if (diff.isEmpty())
            return;
        ++c.treeDifferences;
        cls = QStringLiteral("tree: ") + diff.left(120);
    }
    if (c.classes[cls]++ == 0)
    {
        c.example[cls] = doc;
        std::printf("NEW CLASS [%s] %s\n  old: %s\n  new: %s\n  doc: %s\n", qPrintable(origin),
                    qPrintable(cls), qPrintable(oldOk ? QStringLiteral("ok") : old.errorString()),
                    qPrintable(newOk ? QStringLiteral("ok") : parser.errorString()),
                    doc.left(300).toPercentEncoding(" <>/!?=:'\"[]&#;-_.").constData());
        if (!examples.isEmpty())
        {
            QFile f(examples + QStringLiteral("/class%1.xml").arg(c.classes.size()));
            if (f.open(QIODevice::WriteOnly))
                f.write(doc);
        }
    }
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int generated = 2000, mutants = 3;
    unsigned seed = 1;
    QString examples;
    QStringList paths;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i)
    {
        if (args.at(i) == QLatin1String("--generated") && i + 1 < args.size())
            generated = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--mutants") && i + 1 < args.size())
            mutants = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--seed") && i + 1 < args.size())
            seed = args.at(++i).toUInt();
        else if (args.at(i) == QLatin1String("--examples") && i + 1 < args.size())
            examples = args.at(++i);
        else
            paths << args.at(i);
    }
    rng.seed(seed);

    Counts files, gen, mut;
    QList<QByteArray> seeds;
    for (const QString& path : paths)
    {
        QStringList list;
        if (QFileInfo(path).isDir())
        {
            QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                list << it.next();
        }
        else
            list << path;
        for (const QString& name : list)
        {
            QFile f(name);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QByteArray doc = f.readAll();
            seeds << doc;
            Compare(doc, name, files, examples);
        }
    }
    for (int i = 0; i < generated; ++i)
    {
        const QByteArray doc = Document();
        Compare(doc, QStringLiteral("generated %1").arg(i), gen, examples);
        seeds << doc;
    }
    // Mutants of every file and generated document.
    for (const QByteArray& doc : seeds)
        for (int m = 0; m < mutants; ++m)
            Compare(Mutate(doc), QStringLiteral("mutant"), mut, examples);

    for (const auto* c : {&files, &gen, &mut})
    {
        const char* what = c == &files ? "files" : c == &gen ? "generated" : "mutated";
        std::printf(
            "\n%s: %d documents; both accept %d (lookups compared %d, tree differences "
            "%d); both refuse %d (same text %d); only old accepts %d; only new accepts %d\n",
            what, c->documents, c->bothAccept, c->lookups, c->treeDifferences, c->bothRefuse,
            c->sameRefusal, c->onlyOldAccepts, c->onlyNewAccepts);
        for (auto it = c->classes.begin(); it != c->classes.end(); ++it)
            std::printf("  %5d  %s\n", it.value(), qPrintable(it.key()));
    }
    return 0;
}
