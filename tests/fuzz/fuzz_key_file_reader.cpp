// The XML key-file reader on any bytes: it parses or refuses, and every
// lookup on what it built stays inside the tree.
#include "data/CXmlDataFileParser.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CXmlDataFileParser parser;
    if (!parser.ParseData(FuzzBytes(data, size)))
        return 0;
    parser.CheckRootName(QStringLiteral("KorvalentDatabase"));
    for (const char* key :
         {"FILES", "FILE1.NAME", "FILE1.DATA_ROW1", "NAME", "A.B.C", ".", "A..B", ""})
        parser.GetValue(QString::fromLatin1(key));
    // Walk from the root along first children of a few names.
    int node = parser.RootNode();
    for (const char* name : {"FILE1", "DATA_ROW1", "X"})
    {
        parser.NodeText(node);
        node = parser.FindChild(node, QString::fromLatin1(name));
    }
    return 0;
}
