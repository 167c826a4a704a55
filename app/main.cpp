#include "app/KorvalentMain.h"

int main(int argc, char** argv)
{
    return KorvalentMain(argc, argv);
}
