#include "KeloMain.h"

#include "AppTheme.h"
#include "KeloResources.h"
#include "SettingsFiles.h"
#include "TabDialog.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

int keloMain(int argc, char **argv, void (*onWindowBuilt)(TabDialog *))
{
    if (const auto bytes = SettingsFiles::readFile(SettingsFiles::scaleFilePath())) {
        if (const auto percent = SettingsFiles::decodeScale(*bytes)) {
            const auto env = SettingsFiles::scaleEnvironment(*percent);
            qputenv(env.name.constData(), env.value);
        }
    }

    QApplication app(argc, argv);
    initKeloResources();
    applyAppTheme(app);
    QCoreApplication::setOrganizationName(QStringLiteral("Varnek System"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("varnek.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelo Studio"));

    std::printf("Locale: %s\n", QLocale::system().name().toLocal8Bit().constData());
    std::fflush(stdout);

    // The bundle keeps translations in Resources/; elsewhere they sit beside the program.
    QString langPath = QCoreApplication::applicationDirPath();
#ifdef Q_OS_MACOS
    langPath.replace(QStringLiteral("MacOS"), QStringLiteral("Resources/"));
#else
    langPath += QLatin1Char('/');
#endif
    auto *translator = new QTranslator(&app);
    translator->load(langPath + QStringLiteral("lang_") + QLocale::system().name());
    QCoreApplication::installTranslator(translator);

    res_path = QStringLiteral(":/");
    TabDialog *dialog = new TabDialog;
    tab_dlg = dialog;
    if (onWindowBuilt)
        onWindowBuilt(dialog);
    return dialog->exec();
}
