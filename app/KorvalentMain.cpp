#include "app/KorvalentMain.h"

#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "app/CAppStyle.h"
#include "app/CGuiPrompts.h"
#include "app/CKorvalent.h"
#include "device/CDeviceManager.h"
#include "device/CPortEnumerator.h"
#include "sim/CVirtualGauge.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <cstdio>

namespace
{
// KORVALENT_STARTUP_CHECK set: once the main window has painted, print the
// path of the user manual the help action would open and end the program,
// with status 0 when the manual is there. Shows that an installed copy
// starts and finds its files, without a display or a user.
class StartupCheck : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_done)
        {
            m_done = true;
            QMetaObject::invokeMethod(
                qApp,
                []
                {
                    const QString manual = CKorvalent::HelpFilePath();
                    const bool found = QFileInfo(manual).isFile();
                    std::printf("manual: %s (%s)\n", qPrintable(manual),
                                found ? "found" : "missing");
                    std::fflush(stdout);
                    QCoreApplication::exit(found ? 0 : 1);
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_done = false;
};

// The files named on the command line: every argument but the options.
QStringList FileArguments()
{
    QStringList files;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i)
        if (!args.at(i).startsWith(QLatin1Char('-')))
            files << args.at(i);
    return files;
}
} // namespace

int KorvalentMain(int argc, char** argv, const std::function<void(QWidget*)>& shown)
{
    // 1-2. Application object and identity, before anything else exists.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(AppIdentity::Name));
    QApplication::setOrganizationName(QString::fromLatin1(AppIdentity::Organization));
    QApplication::setApplicationVersion(QString::fromLatin1(AppIdentity::Version));
#ifdef KORVALENT_APP_ID
    QGuiApplication::setDesktopFileName(QStringLiteral(KORVALENT_APP_ID));
#endif

    // 3. Plug-ins shipped beside the executable are found first.
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath());

    // The program speaks Russian: Qt's own dialog texts (file dialog, standard
    // buttons) follow it when the translations are installed.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    CGuiPrompts prompts;
    SetUserPrompts(&prompts);

    // Demo mode: a virtual gauge served in this process and listed by the
    // device selector; its settings are kept apart from the real ones.
    const bool demo = QCoreApplication::arguments().contains(QStringLiteral("-demo"));
    CVirtualGauge* virtualGauge = nullptr;
    if (demo)
    {
        virtualGauge = new CVirtualGauge();
        virtualGauge->LoadDemoContent();
        QString error;
        if (virtualGauge->Start(&error))
            CPortEnumerator::AddExtraPort(QStringLiteral("virtual QM-3RX"),
                                          virtualGauge->PortPath());
        else
            qWarning("virtual gauge: %s", qPrintable(error));
    }

    // 4. The one settings object of the process (native per-user store).
    QSettings* settings = CAppSettings::Create(demo);
    g_App.pSettings = settings;
    // The virtual gauge gets a new pseudo-terminal every run: keep it selected,
    // and select it when no gauge was chosen yet, so that the demo works
    // without a visit to the device selector.
    if (virtualGauge && virtualGauge->IsRunning())
    {
        const QString portName = settings->value(QStringLiteral("Device/PortName")).toString();
        const bool none = settings->value(QStringLiteral("Device/PortPath")).toString().isEmpty();
        if (none)
        {
            settings->setValue(QStringLiteral("Device/Name"), virtualGauge->Name());
            settings->setValue(QStringLiteral("Device/SerialNumber"),
                               QString::asprintf("%08lu", static_cast<unsigned long>(
                                                              virtualGauge->SerialNumber())));
            settings->setValue(QStringLiteral("Device/PortName"), QStringLiteral("virtual QM-3RX"));
        }
        if (none || portName == QLatin1String("virtual QM-3RX"))
            settings->setValue(QStringLiteral("Device/PortPath"), virtualGauge->PortPath());
    }

    // 5. Command line.
    g_App.extras = HasExtrasSwitch(argc, argv) ? 1 : 0;

    // 8. Style, set before the windows are built: set afterwards, every
    // widget already polished is polished again (a seventh of the start-up).
    QApplication::setStyle(CAppStyle::Create());

    // 6. Main window; its report page is built when first needed, at the
    // latest right after the first paint.
    auto* window = new CKorvalent(nullptr, CKorvalent::ReportPageBuild::WhenNeeded);
    g_App.pMainWindow = window;
    g_App.pStatusSink = window;

    // 7. Device manager.
    auto* deviceManager = new CDeviceManager();
    g_App.pDeviceManager = deviceManager;
    QObject::connect(deviceManager, &CDeviceManager::ShowStatusMessage, window,
                     &CKorvalent::ShowDeviceMessage);

    // 9. Run until the main window closes.
    window->show();
    if (shown)
        shown(window);
    StartupCheck startupCheck;
    if (qEnvironmentVariableIsSet("KORVALENT_STARTUP_CHECK"))
        window->installEventFilter(&startupCheck);
    // Files given on the command line open once the window is up, so that
    // their message boxes have it to stand on.
    const QStringList files = FileArguments();
    if (!files.isEmpty())
        QTimer::singleShot(0, window, [window, files] { window->OpenFiles(files); });
    const int result = app.exec();

    // 10. Tear down in reverse order of creation.
    delete deviceManager;
    g_App.pDeviceManager = nullptr;
    delete virtualGauge;
    delete window;
    delete settings;
    return result;
}
