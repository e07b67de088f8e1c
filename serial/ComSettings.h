#pragma once
// The port's settings objects. Each keeps a back reference to the port that owns it and applies
// a changed field through that port at once (the port decides whether it is open).
#include <stdexcept>
#include <string>

#include "ComTypes.h"

class TCustomComPort;

// The framework's refusal to copy a settings object from an object of another class.
class EAssignError : public std::runtime_error {
public:
    EAssignError(const char* sourceClass, const char* targetClass);
};

class TComPersistent {
public:
    virtual ~TComPersistent() = default;
    virtual const char* ClassName() const = 0;
    // Copies every field of source; a source of another class raises EAssignError.
    virtual void Assign(const TComPersistent& source) = 0;

    TCustomComPort* ComPort() const { return port_; }
    void SetComPort(TCustomComPort* port) { port_ = port; }

protected:
    TComPersistent() = default;
    TComPersistent(const TComPersistent&) = default;
    TComPersistent& operator=(const TComPersistent&) = default;
    void RefuseAssign(const TComPersistent& source) const;

    TCustomComPort* port_ = nullptr;
};

class TComParity : public TComPersistent {
public:
    const char* ClassName() const override { return "TComParity"; }
    void Assign(const TComPersistent& source) override;

    TParityBits Bits() const { return bits_; }
    void SetBits(TParityBits value);
    bool Check() const { return check_; }
    void SetCheck(bool value);
    bool Replace() const { return replace_; }
    void SetReplace(bool value);
    char ReplaceChar() const { return replaceChar_; }
    void SetReplaceChar(char value);

private:
    void Changed();
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

class TComFlowControl : public TComPersistent {
public:
    const char* ClassName() const override { return "TComFlowControl"; }
    void Assign(const TComPersistent& source) override;

    bool OutCTSFlow() const { return outCTSFlow_; }
    void SetOutCTSFlow(bool value);
    bool OutDSRFlow() const { return outDSRFlow_; }
    void SetOutDSRFlow(bool value);
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void SetControlDTR(TDTRFlowControl value);
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void SetControlRTS(TRTSFlowControl value);
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool value);
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool value);
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void SetDSRSensitivity(bool value);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value);
    char XonChar() const { return xonChar_; }
    void SetXonChar(char value);
    char XoffChar() const { return xoffChar_; }
    void SetXoffChar(char value);

    // Summary of the handshake fields; computed, never stored.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);

private:
    void Changed();
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

class TComTimeouts : public TComPersistent {
public:
    const char* ClassName() const override { return "TComTimeouts"; }
    void Assign(const TComPersistent& source) override;

    int ReadInterval() const { return readInterval_; }
    void SetReadInterval(int value);
    int ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void SetReadTotalMultiplier(int value);
    int ReadTotalConstant() const { return readTotalConstant_; }
    void SetReadTotalConstant(int value);
    int WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void SetWriteTotalMultiplier(int value);
    int WriteTotalConstant() const { return writeTotalConstant_; }
    void SetWriteTotalConstant(int value);

private:
    void Set(int& field, int value);
    int readInterval_ = -1;
    int readTotalMultiplier_ = 0;
    int readTotalConstant_ = 0;
    int writeTotalMultiplier_ = 100;
    int writeTotalConstant_ = 1000;
};

class TComBuffer : public TComPersistent {
public:
    const char* ClassName() const override { return "TComBuffer"; }
    void Assign(const TComPersistent& source) override;

    int InputSize() const { return inputSize_; }
    void SetInputSize(int value);
    int OutputSize() const { return outputSize_; }
    void SetOutputSize(int value);

private:
    void Set(int& field, int value);
    int inputSize_ = 1024;
    int outputSize_ = 1024;
};
