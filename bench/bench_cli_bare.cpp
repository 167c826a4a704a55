// The least a Qt command-line program does to print its version: the
// reference of the command line's start-up.
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("Korvalent %s\n", KORVALENT_VERSION);
    return 0;
}
