#include "app/KorvalentMain.h"
#include "core/CSafeSave.h"

int main(int argc, char** argv)
{
    // An interrupted save leaves no temporary file behind.
    CSafeSave::RemoveTemporariesOnSignals();
    return KorvalentMain(argc, argv);
}
