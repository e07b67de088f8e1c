#include "ComSettings.h"

#include "ComPort.h"

EAssignError::EAssignError(const char* sourceClass, const char* targetClass)
    : std::runtime_error(std::string("Cannot assign a ") + sourceClass + " to a " + targetClass)
{
}

void TComPersistent::RefuseAssign(const TComPersistent& source) const
{
    throw EAssignError(source.ClassName(), ClassName());
}

namespace {
template <typename T>
const T& SameClass(const TComPersistent& self, const TComPersistent& source)
{
    const T* s = dynamic_cast<const T*>(&source);
    if (!s)
        throw EAssignError(source.ClassName(), self.ClassName());
    return *s;
}

template <typename T>
bool Store(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
}  // namespace

// --- parity -----------------------------------------------------------------------------------

void TComParity::Assign(const TComPersistent& source)
{
    const auto& s = SameClass<TComParity>(*this, source);
    bits_ = s.bits_;
    check_ = s.check_;
    replace_ = s.replace_;
    replaceChar_ = s.replaceChar_;
}

void TComParity::Changed()
{
    if (port_)
        port_->ApplyLineSettings();
}

void TComParity::SetBits(TParityBits value) { if (Store(bits_, value)) Changed(); }
void TComParity::SetCheck(bool value) { if (Store(check_, value)) Changed(); }
void TComParity::SetReplace(bool value) { if (Store(replace_, value)) Changed(); }
void TComParity::SetReplaceChar(char value) { if (Store(replaceChar_, value)) Changed(); }

// --- flow control -----------------------------------------------------------------------------

void TComFlowControl::Assign(const TComPersistent& source)
{
    const auto& s = SameClass<TComFlowControl>(*this, source);
    outCTSFlow_ = s.outCTSFlow_;
    outDSRFlow_ = s.outDSRFlow_;
    controlDTR_ = s.controlDTR_;
    controlRTS_ = s.controlRTS_;
    xonXoffOut_ = s.xonXoffOut_;
    xonXoffIn_ = s.xonXoffIn_;
    dsrSensitivity_ = s.dsrSensitivity_;
    txContinueOnXoff_ = s.txContinueOnXoff_;
    xonChar_ = s.xonChar_;
    xoffChar_ = s.xoffChar_;
}

void TComFlowControl::Changed()
{
    if (port_)
        port_->ApplyLineSettings();
}

void TComFlowControl::SetOutCTSFlow(bool value) { if (Store(outCTSFlow_, value)) Changed(); }
void TComFlowControl::SetOutDSRFlow(bool value) { if (Store(outDSRFlow_, value)) Changed(); }
void TComFlowControl::SetControlDTR(TDTRFlowControl value) { if (Store(controlDTR_, value)) Changed(); }
void TComFlowControl::SetControlRTS(TRTSFlowControl value) { if (Store(controlRTS_, value)) Changed(); }
void TComFlowControl::SetXonXoffOut(bool value) { if (Store(xonXoffOut_, value)) Changed(); }
void TComFlowControl::SetXonXoffIn(bool value) { if (Store(xonXoffIn_, value)) Changed(); }
void TComFlowControl::SetDSRSensitivity(bool value) { if (Store(dsrSensitivity_, value)) Changed(); }
void TComFlowControl::SetTxContinueOnXoff(bool value) { if (Store(txContinueOnXoff_, value)) Changed(); }
void TComFlowControl::SetXonChar(char value) { if (Store(xonChar_, value)) Changed(); }
void TComFlowControl::SetXoffChar(char value) { if (Store(xoffChar_, value)) Changed(); }

TFlowControl TComFlowControl::FlowControl() const
{
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (value == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    Changed();
}

// --- time-outs --------------------------------------------------------------------------------

void TComTimeouts::Assign(const TComPersistent& source)
{
    const auto& s = SameClass<TComTimeouts>(*this, source);
    readInterval_ = s.readInterval_;
    readTotalMultiplier_ = s.readTotalMultiplier_;
    readTotalConstant_ = s.readTotalConstant_;
    writeTotalMultiplier_ = s.writeTotalMultiplier_;
    writeTotalConstant_ = s.writeTotalConstant_;
}

void TComTimeouts::Set(int& field, int value)
{
    if (Store(field, value) && port_)
        port_->ApplyTimeoutSettings();
}

void TComTimeouts::SetReadInterval(int value) { Set(readInterval_, value); }
void TComTimeouts::SetReadTotalMultiplier(int value) { Set(readTotalMultiplier_, value); }
void TComTimeouts::SetReadTotalConstant(int value) { Set(readTotalConstant_, value); }
void TComTimeouts::SetWriteTotalMultiplier(int value) { Set(writeTotalMultiplier_, value); }
void TComTimeouts::SetWriteTotalConstant(int value) { Set(writeTotalConstant_, value); }

// --- buffer sizes -----------------------------------------------------------------------------

void TComBuffer::Assign(const TComPersistent& source)
{
    const auto& s = SameClass<TComBuffer>(*this, source);
    inputSize_ = s.inputSize_;
    outputSize_ = s.outputSize_;
}

void TComBuffer::Set(int& field, int value)
{
    if (!Store(field, value))
        return;
    // Driver queues come in even sizes.
    if (field > 0 && field % 2 == 1)
        field -= 1;
    if (port_)
        port_->ApplyBufferSizes();
}

void TComBuffer::SetInputSize(int value) { Set(inputSize_, value); }
void TComBuffer::SetOutputSize(int value) { Set(outputSize_, value); }
