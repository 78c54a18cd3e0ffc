#include "app/Unit1.h"
#include "app/errorbox.h"
#include "app/headless.h"
#include "app/qttranslations.h"
#include "app/rankfilecontrols.h"
#include "base/errors.h"
#include "base/filenames.h"
#include "base/guard.h"
#include "shell/options.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QTextStream>

#include <cstdio>

#include <sys/resource.h>

namespace {

// Qt decodes the arguments lossily (a byte that is not UTF-8 becomes U+FFFD,
// whatever the locale), so a file name given as bytes would name another
// file; they are decoded here so that every byte comes back.
QStringList rawArguments(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << decodeFileName(argv[i]);
    return args;
}

// Each request in flight holds a socket or more; the usual soft limit of
// 1,024 open files would fail working addresses long before the hard limit.
void raiseOpenFileLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char **argv)
{
    raiseOpenFileLimit();
    QTextStream err(stderr);
    const ParsedOptions parsed = parseOptions(rawArguments(argc, argv));
    if (parsed.help) {
        QTextStream(stdout) << usageText();
        return 0;
    }
    if (parsed.version) {
        QTextStream(stdout) << versionText();
        return 0;
    }
    // One line and a pointer to the help: the whole help would scroll the
    // reason out of sight.
    const auto refuse = [&err](const QString &why) {
        err << "prquery: " << why << "\n"
            << "用 --help 查看用法\n";
        return 2;
    };
    if (!parsed.ok)
        return refuse(parsed.error);
    const Options &options = parsed.options;

    WindowEndpoints endpoints = TForm1::defaultEndpoints();
    if (!options.serversFile.isEmpty()) {
        try {
            endpoints.servers = readServersFile(options.serversFile);
        } catch (const AppError &e) {
            return refuse(e.message());
        }
    }
    if (options.bannerGiven)
        endpoints.bannerUrl = options.banner == QLatin1String("none") ? QString() : options.banner;
    if (!options.oprEndpoint.isEmpty())
        endpoints.oprEndpoint = options.oprEndpoint;
    if (!options.store.isEmpty())
        endpoints.storeFile = options.storeOff() ? QString() : options.store;

    if (options.headless()) {
        // No window, so no platform plugin, no display and no banner.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(guard::applicationTitle());
        EngineEndpoints engineEndpoints;
        engineEndpoints.servers = endpoints.servers;
        engineEndpoints.oprEndpoint = endpoints.oprEndpoint;
        return runHeadless(options, engineEndpoints, err);
    }

    QApplication app(argc, argv);
    // The application title. Not set as the display name: Qt would append
    // that to the window's caption.
    QApplication::setApplicationName(guard::applicationTitle());
    installQtTranslations(QLocale::system());
    installStandardErrorBox(nullptr); // for errors while the window is created
    TForm1 form(endpoints, TForm1::defaultSeams());
    form.state().requestTimeoutMs = options.requestTimeoutSeconds * 1000;
    form.state().statusPolicy = options.statusPolicy;
    form.setSoft404Check(options.soft404);
    installStandardErrorBox(&form);
    // The source, key and ranks file remembered from the last start stand
    // unless the command line or the environment names them.
    const RankStart rank = windowRankChoice(options, form.remembered());
    form.setRankChoice(rank.choice, rank.key, rank.file);
    form.show();
    return QApplication::exec();
}
