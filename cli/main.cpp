#include "cli/CliCommands.h"
#include "core/CSafeSave.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <iterator>

namespace
{
// Commands that draw are left out: they run in the drawing module.
const CliRunner kRunners[] = {
    {"ports", CliPorts},
    {"identify", CliIdentify},
    {"show", CliShow},
    {"firmware", CliFirmware},
    {"clock", CliClock},
    {"download", CliDownload},
    {"upload", CliUpload},
    {"materials-get", CliMaterialsGet},
    {"materials-put", CliMaterialsPut},
    {"pep-read", CliPepRead},
    {"pep-write", CliPepWrite},
    {"pep-show", CliPepShow},
    {"pep-list", CliPepList},
    {"export", CliExport},
    {"analyse", CliAnalyse},
    {"archive-add", CliArchiveAdd},
    {"archive-list", CliArchiveList},
    {"archive-get", CliArchiveGet},
    {"archive-move", CliArchiveMove},
    {"archive-rename", CliArchiveRename},
    {"archive-merge", CliArchiveMerge},
    {"archive-remove", CliArchiveRemove},
    {"history", CliHistory},
    {"archive-accept", CliArchiveAccept},
};

// The drawing module lies at a fixed place relative to the executable, in the
// build tree as in the installed package: no search path is involved.
QString ModulePath()
{
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return QFileInfo(self).absolutePath() +
           QStringLiteral("/" KORVALENT_CLI_MODULE_FROM_BIN "/" KORVALENT_CLI_MODULE);
}

int RunInModule(int argc, char** argv)
{
    const QString path = ModulePath();
    void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char**);
    const auto entry =
        module ? reinterpret_cast<Entry>(dlsym(module, "KorvalentCliDraw")) : nullptr;
    if (!entry)
    {
        // The linker's text names the file and what is wrong with it.
        const char* why = dlerror();
        CliPrintErr(QStringLiteral("korvalent-cli: cannot load the drawing module: %1")
                        .arg(why ? QString::fromLocal8Bit(why) : path));
        return CliFailure;
    }
    // Left loaded: its application object and files are gone by the time
    // the entry returns, but Qt's exit handlers may still refer to it.
    return entry(argc, argv);
}
} // namespace

int main(int argc, char** argv)
{
    if (CliRunsInModule(argc, argv))
        return RunInModule(argc, argv);
    // An interrupted save leaves no temporary file behind; what a replaced
    // file could not keep is told with the other messages.
    CSafeSave::RemoveTemporariesOnSignals();
    CSafeSave::SetNoticeHandler(CliPrintErr);
    QCoreApplication app(argc, argv);
    return CliRun(kRunners, int(std::size(kRunners)));
}
