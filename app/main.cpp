#include "app/CAppGlobals.h"
#include "app/CAppSettings.h"
#include "app/CGuiPrompts.h"
#include "app/CKorvalent.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(AppIdentity::Name));
    QApplication::setOrganizationName(QString::fromLatin1(AppIdentity::Organization));
    QApplication::setApplicationVersion(QString::fromLatin1(AppIdentity::Version));

    CGuiPrompts prompts;
    SetUserPrompts(&prompts);

    QSettings* settings = CAppSettings::Create();
    g_App.pSettings = settings;
    g_App.extras = HasExtrasSwitch(argc, argv) ? 1 : 0;

    auto* window = new CKorvalent();
    g_App.pMainWindow = window;
    window->show();
    const int result = app.exec();
    delete window;
    delete settings;
    return result;
}
