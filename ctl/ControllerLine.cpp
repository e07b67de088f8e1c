#include "ControllerLine.h"

#include "CtlFailure.h"
#include "LineSettings.h"
#include "RoutingReply.h"

#include <QEventLoop>
#include <QTimer>

namespace P = ControllerProtocol;

namespace {

// A byte on the line at 9600 bit/s 8N1, rounded up, in microseconds.
constexpr int kByteUs = 1042;

constexpr int kOutputReplyBytes = P::ReplyLength(P::kOutputStates) + 1;   // and its end
constexpr int kInputReplyBytes = P::ReplyLength(P::kInputStates);

TControllerSession::Policy CommandPolicy()
{
    TControllerSession::Policy policy;
    policy.polling = false;
    policy.oneRequestAtATime = true;
    policy.holdNoticesInsideReply = true;
    return policy;
}

QString OpenFailure(const QString& port, const EComPort& e)
{
    const QString device = QString::fromStdString(DevicePathForPort(port));
    const QString what = QString::fromLocal8Bit(e.what());
    switch (ClassifyOpenError(e.SystemCode())) {
    case ComOpenRefusal::InUse:
        return QStringLiteral("port %1 is in use by another program (%2). Close the console, hub or "
                              "other program that holds it, or wait until it is done, and try again.")
            .arg(device, what);
    case ComOpenRefusal::Missing:
        return QStringLiteral("port %1 does not exist (%2). Check the cable or USB adapter and the "
                              "--port path (COM1, /dev/ttyUSB0, a simulator or hub link).")
            .arg(device, what);
    case ComOpenRefusal::NoPermission:
        return QStringLiteral("no permission to open port %1 (%2). Add the user to the dialout group "
                              "and log in again, or run as a user who may use the port.")
            .arg(device, what);
    default:
        return QStringLiteral("port %1 cannot be opened (%2). Check that --port names a serial line.")
            .arg(device, what);
    }
}

}  // namespace

TControllerLine::TControllerLine(const QString& port, int timeoutMs, QObject* parent)
    : QObject(parent), port_(port), timeoutMs_(timeoutMs),
      session_([this](const std::string& bytes) { return WriteBytes(bytes); }, nullptr,
               CommandPolicy())
{
    SetUpControllerLine(comPort_, port);

    link_.OnRxBuf = [this](TCustomComPort*, const char* buffer, int count) { Received(buffer, count); };
    comPort_.AttachLink(&link_);
    connect(&comPort_, &TCustomComPort::HungUp, this, [this] {
        lost_ = true;
        if (waitLoop_)
            waitLoop_->quit();
    });

    connect(&session_, &TControllerSession::OutputStateChanged, this,
            [this](int output, bool on) { outputs_[output - 1] = on; });
    connect(&session_, &TControllerSession::InputStateChanged, this,
            [this](int input, bool active) { inputs_[input - 1] = active; });
    connect(&session_, &TControllerSession::ModeAnnounced, this, [this](P::Mode mode) {
        mode_ = mode;
        ++modeAnnouncements_;
        emit ModeAnnounced(mode);
    });
    connect(&session_, &TControllerSession::SavingFinished, this, [this] { ++savedNotices_; });
    connect(&session_, &TControllerSession::OutputChangeNoticed, this, [this] { ++outputChangeNotices_; });
}

TControllerLine::~TControllerLine()
{
    try {
        if (comPort_.Connected())
            comPort_.SetConnected(false);
        comPort_.DetachLink(&link_);
    } catch (...) {
        // Closing a line that already failed has nothing left to report.
    }
}

void TControllerLine::Open()
{
    try {
        comPort_.SetConnected(true);
    } catch (const EComPort& e) {
        throw ECtlFailure(TExitCode::PortUnavailable, OpenFailure(port_, e));
    }
}

int TControllerLine::WriteBytes(const std::string& bytes)
{
    if (lost_)
        RethrowFailure();
    int sent = 0;
    try {
        sent = comPort_.WriteText(bytes);
    } catch (const EComPort& e) {
        throw ECtlFailure(TExitCode::PortUnavailable,
                          QStringLiteral("writing to port %1 failed (%2). Check the cable or adapter and "
                                         "run the command again.")
                              .arg(port_, QString::fromLocal8Bit(e.what())));
    }
    // A byte the device did not take would shift whatever follows it.
    if (sent != static_cast<int>(bytes.size()))
        throw ECtlFailure(TExitCode::PortUnavailable,
                          QStringLiteral("port %1 took %2 of %3 bytes. Check the cable or adapter and "
                                         "run the command again.")
                              .arg(port_)
                              .arg(sent)
                              .arg(bytes.size()));
    return sent;
}

void TControllerLine::Send(const std::string& bytes)
{
    session_.WriteCommand(bytes);
}

// --- Receiving and waiting ---

void TControllerLine::Received(const char* buffer, int count)
{
    // Runs inside the port's delivery: nothing may escape into Qt.
    try {
        for (int i = 0; i < count; ++i)
            session_.HandleChar(buffer[i]);
    } catch (...) {
        if (!failure_)
            failure_ = std::current_exception();
    }
    if (waitLoop_ && (failure_ || (*waitDone_)()))
        waitLoop_->quit();
}

void TControllerLine::RethrowFailure()
{
    if (failure_)
        std::rethrow_exception(failure_);
    if (lost_)
        throw ECtlFailure(TExitCode::PortUnavailable,
                          QStringLiteral("the line went away: port %1 hung up (cable or adapter pulled, "
                                         "or the link closed). Check the connection and run the "
                                         "command again.")
                              .arg(port_));
}

void TControllerLine::Interrupt()
{
    interrupted_ = true;
    if (waitLoop_)
        waitLoop_->quit();
}

bool TControllerLine::WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    RethrowFailure();
    if (interrupted_)
        throw EInterrupted{};
    if (done())
        return true;

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    waitLoop_ = &loop;
    waitDone_ = &done;
    deadline.start(timeoutMs);
    loop.exec();
    waitLoop_ = nullptr;
    waitDone_ = nullptr;

    RethrowFailure();
    if (interrupted_)
        throw EInterrupted{};
    return done();
}

int TControllerLine::ReplyDeadlineMs(int bytes) const
{
    return timeoutMs_ + 2 * bytes * kByteUs / 1000;
}

void TControllerLine::NoAnswer(const QString& request, int waitedMs)
{
    throw ECtlFailure(TExitCode::TimedOut,
                      QStringLiteral("the controller did not answer %1 within %2 ms. Check that it is "
                                     "powered and connected to %3; a slow line needs a longer "
                                     "--timeout.")
                          .arg(request)
                          .arg(waitedMs)
                          .arg(port_));
}

// --- Requests ---

TControllerLine::TStates TControllerLine::ReadOutputs()
{
    outputs_.fill(false);
    session_.RequestOutputs();
    const TReceiveState& s = session_.State();
    const int deadlineMs = ReplyDeadlineMs(kOutputReplyBytes);
    if (!WaitFor([&] { return !s.OutputReadActive; }, deadlineMs))
        NoAnswer(QStringLiteral("\"x\" (output states)"), deadlineMs);
    if (session_.ReplyDamaged() || s.OutputReadPosition != P::kChannels)
        throw ECtlFailure(TExitCode::TimedOut,
                          QStringLiteral("the controller's output states came damaged (%1 states "
                                         "before '!', expected 16 of '0'/'1'). Check the line to "
                                         "the controller and try again.")
                              .arg(s.OutputReadPosition));
    return outputs_;
}

TControllerLine::TStates TControllerLine::ReadInputs()
{
    inputs_.fill(false);
    session_.RequestInputs();
    const TReceiveState& s = session_.State();
    const int deadlineMs = ReplyDeadlineMs(kInputReplyBytes);
    if (!WaitFor([&] { return !s.InputReadActive; }, deadlineMs))
        NoAnswer(QStringLiteral("\"q\" (input states)"), deadlineMs);
    if (session_.ReplyDamaged())
        throw ECtlFailure(TExitCode::TimedOut,
                          QStringLiteral("the controller's input states came damaged (expected 16 of "
                                         "'0'/'1'). Check the line to the controller and try again."));
    return inputs_;
}

Routing::TRoutingCells TControllerLine::ReadTable()
{
    session_.BeginConfigDump();
    const TReceiveState& s = session_.State();
    const int deadlineMs = ReplyDeadlineMs(Routing::kReplyLength);
    if (!WaitFor([&] { return !s.ConfigDumpActive; }, deadlineMs)) {
        session_.EndConfigDump();
        NoAnswer(QStringLiteral("\"C\" (routing table)"), deadlineMs);
    }
    const auto cells = Routing::DecodeReplyStrict(session_.ConfigDumpRaw());
    if (!cells)
        throw ECtlFailure(TExitCode::TimedOut,
                          QStringLiteral("the controller's routing table came damaged (expected 256 "
                                         "of '0'/'1'). Check the line to the controller and try "
                                         "again."));
    return *cells;
}
