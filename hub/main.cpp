// selvora-hub: one process on the controller's line, shared by consoles and an MQTT broker.
#include "Hub.h"
#include "HubOptions.h"
#include "KonfVersion.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void PrintMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    std::fprintf(stderr, "selvora-hub: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv)
{
    // Blocked before any thread starts, so that only the signal descriptor below sees them.
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    sigaddset(&quitSignals, SIGINT);
    sigaddset(&quitSignals, SIGTERM);
    sigaddset(&quitSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    hub::HubOptions options;
    std::string error;
    if (!hub::ParseHubOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "selvora-hub: " << error << "\n" << hub::HubUsage();
        return 2;
    }
    if (options.help) {
        std::cout << hub::HubUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "selvora-hub " KONF_VERSION "\n";
        return 0;
    }

    qInstallMessageHandler(PrintMessage);
    QCoreApplication app(argc, argv);
    const int quitFd = ::signalfd(-1, &quitSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    QSocketNotifier quitNotifier(quitFd, QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, [quitFd] {
        signalfd_siginfo info{};
        while (::read(quitFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        QCoreApplication::quit();
    });

    int status = 0;
    {
        THub hub(options);
        try {
            hub.Start();
            status = app.exec();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "selvora-hub: %s\n", e.what());
            status = 1;
        }
        hub.Stop();
    }
    ::close(quitFd);
    return status;
}
