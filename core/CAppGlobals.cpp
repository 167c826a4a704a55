#include "core/CAppGlobals.h"

AppGlobals g_App;

bool HasExtrasSwitch(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
        if (argv[i] && QByteArray(argv[i]) == "-extras")
            return true;
    return false;
}

bool HasExtrasSwitch(const QStringList& arguments)
{
    for (int i = 1; i < arguments.size(); ++i)
        if (arguments.at(i) == QLatin1String("-extras"))
            return true;
    return false;
}
