#include "CommandLine.h"

#include "CtlFailure.h"

namespace {

constexpr int kMaxTimeoutMs = 600000;

[[noreturn]] void Usage(const QString& fault, TCommand command = TCommand::None)
{
    const QString help = command == TCommand::None
        ? QStringLiteral("selvora-ctl --help")
        : QStringLiteral("selvora-ctl %1 --help").arg(CommandWord(command));
    throw ECtlFailure(TExitCode::Usage, QStringLiteral("%1. See %2.").arg(fault, help));
}

TCommand CommandOf(const QStringList& words)
{
    if (words.isEmpty())
        return TCommand::None;
    const QString& first = words.first();
    if (first == QLatin1String("status"))
        return TCommand::Status;
    if (first == QLatin1String("out"))
        return TCommand::Out;
    if (first == QLatin1String("mode"))
        return TCommand::Mode;
    if (first == QLatin1String("watch"))
        return TCommand::Watch;
    if (first == QLatin1String("routing")) {
        if (words.size() < 2)
            return TCommand::Routing;
        if (words.at(1) == QLatin1String("get"))
            return TCommand::RoutingGet;
        if (words.at(1) == QLatin1String("set"))
            return TCommand::RoutingSet;
        Usage(QStringLiteral("unknown routing command \"%1\" (get or set)").arg(words.at(1)),
              TCommand::Routing);
    }
    Usage(QStringLiteral("unknown command \"%1\"").arg(first));
}

void ExpectArguments(const QStringList& words, int count, TCommand command)
{
    if (words.size() > count)
        Usage(QStringLiteral("too many arguments (\"%1\")").arg(words.at(count)), command);
    if (words.size() < count)
        Usage(QStringLiteral("missing argument"), command);
}

void ReadOut(const QStringList& words, TCtlRequest& r)
{
    ExpectArguments(words, 3, TCommand::Out);
    bool ok = false;
    r.output = words.at(1).toInt(&ok);
    if (!ok || r.output < 1 || r.output > 16)
        Usage(QStringLiteral("output \"%1\" is not a number from 1 to 16").arg(words.at(1)), TCommand::Out);
    const QString& action = words.at(2);
    if (action == QLatin1String("on"))
        r.outAction = TOutAction::On;
    else if (action == QLatin1String("off"))
        r.outAction = TOutAction::Off;
    else if (action == QLatin1String("toggle"))
        r.outAction = TOutAction::Toggle;
    else
        Usage(QStringLiteral("\"%1\" is not on, off or toggle").arg(action), TCommand::Out);
}

void ReadMode(const QStringList& words, TCtlRequest& r)
{
    ExpectArguments(words, 2, TCommand::Mode);
    if (words.at(1) == QLatin1String("next"))
        return;
    r.mode = ModeFromName(words.at(1));
    if (!r.mode)
        Usage(QStringLiteral("unknown mode \"%1\" (next, equal-inputs, remote-first or remote-only)")
                  .arg(words.at(1)),
              TCommand::Mode);
}

}  // namespace

QString CommandWord(TCommand command)
{
    switch (command) {
    case TCommand::Status:
        return QStringLiteral("status");
    case TCommand::Out:
        return QStringLiteral("out");
    case TCommand::Mode:
        return QStringLiteral("mode");
    case TCommand::Routing:
        return QStringLiteral("routing");
    case TCommand::RoutingGet:
        return QStringLiteral("routing get");
    case TCommand::RoutingSet:
        return QStringLiteral("routing set");
    case TCommand::Watch:
        return QStringLiteral("watch");
    case TCommand::None:
        break;
    }
    return QString();
}

TCtlRequest ParseCommandLine(const QStringList& args)
{
    TCtlRequest r;
    QStringList words;
    bool namesGiven = false;
    bool optionsEnded = false;   // after "--" a file may start with "--"
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || !arg.startsWith(QLatin1String("--"))) {
            if (!optionsEnded && arg == QLatin1String("-h"))
                r.help = true;
            else
                words.append(arg);
            continue;
        }
        // Options take their value as the next argument or after '='.
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);
        auto value = [&]() -> QString {
            if (eq >= 0)
                return arg.mid(eq + 1);
            if (i + 1 >= args.size())
                Usage(QStringLiteral("%1 needs a value").arg(name));
            return args.at(++i);
        };
        auto noValue = [&] {
            if (eq >= 0)
                Usage(QStringLiteral("%1 takes no value").arg(name));
        };
        if (name == QLatin1String("--help")) {
            noValue();
            r.help = true;
        } else if (name == QLatin1String("--version")) {
            noValue();
            r.version = true;
        } else if (name == QLatin1String("--port")) {
            r.port = value();
            if (r.port.isEmpty())
                Usage(QStringLiteral("--port needs a port path"));
        } else if (name == QLatin1String("--timeout")) {
            const QString text = value();
            bool ok = false;
            r.timeoutMs = text.toInt(&ok);
            if (!ok || r.timeoutMs < 1 || r.timeoutMs > kMaxTimeoutMs)
                Usage(QStringLiteral("--timeout \"%1\" is not a number of milliseconds from 1 to %2")
                          .arg(text)
                          .arg(kMaxTimeoutMs));
        } else if (name == QLatin1String("--names")) {
            r.namesFile = value();
            namesGiven = true;
        } else if (name == QLatin1String("--force")) {
            noValue();
            r.force = true;
        } else {
            Usage(QStringLiteral("unknown option %1").arg(name));
        }
    }

    if (!words.isEmpty() && words.first() == QLatin1String("help")) {
        words.removeFirst();
        r.help = true;
    }
    r.command = CommandOf(words);
    if (r.help || r.version)
        return r;

    switch (r.command) {
    case TCommand::None:
        Usage(QStringLiteral("no command given"));
    case TCommand::Routing:
        Usage(QStringLiteral("routing needs get or set"), TCommand::Routing);
    case TCommand::Status:
    case TCommand::Watch:
        ExpectArguments(words, 1, r.command);
        break;
    case TCommand::Out:
        ReadOut(words, r);
        break;
    case TCommand::Mode:
        ReadMode(words, r);
        break;
    case TCommand::RoutingGet:
        if (words.size() > 3)
            Usage(QStringLiteral("too many arguments (\"%1\")").arg(words.at(3)), r.command);
        r.file = words.value(2);
        break;
    case TCommand::RoutingSet:
        ExpectArguments(words, 3, r.command);
        r.file = words.at(2);
        break;
    }
    if (namesGiven && r.command != TCommand::RoutingGet)
        Usage(QStringLiteral("--names belongs to routing get"), r.command);
    if (r.force && r.command != TCommand::RoutingSet)
        Usage(QStringLiteral("--force belongs to routing set"), r.command);
    if (r.port.isEmpty())
        Usage(QStringLiteral("--port is missing: name the controller's line, e.g. --port /dev/ttyUSB0"),
              r.command);
    return r;
}
