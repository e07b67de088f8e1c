// Settings objects, the device control block, event masks, messages and port names: no device.
#include <gtest/gtest.h>

#include <unistd.h>

#include "SerialTestUtil.h"

TEST(ComDcb, ConsolePortGivesTheClassicBlock)
{
    PtyPair pty;
    TComPort port;
    ConfigureAsConsole(port, pty);
    const TComDcb d = port.BuildDcb();
    TComDcb want;
    want.DCBlength = 28;
    want.BaudRate = 9600;
    want.Flags = 0x1;
    want.XonLim = 256;
    want.XoffLim = 256;
    want.ByteSize = 8;
    want.Parity = 0;
    want.StopBits = 0;
    want.XonChar = 17;
    want.XoffChar = 19;
    want.ErrorChar = 0;
    want.EofChar = 0;
    want.EvtChar = 0;
    EXPECT_TRUE(d == want) << "flags 0x" << std::hex << d.Flags << std::dec << " baud " << d.BaudRate
                           << " xonlim " << d.XonLim;
}

TEST(ComDcb, EveryFieldLandsInItsBits)
{
    TComPort port;
    port.SetBaudRate(br115200);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.SetDiscardNull(true);
    port.SetEventChar('\n');
    port.Parity()->SetBits(prMark);
    port.Parity()->SetCheck(true);
    port.Parity()->SetReplace(true);
    port.Parity()->SetReplaceChar('?');
    TComFlowControl* f = port.FlowControl();
    f->SetOutCTSFlow(true);
    f->SetOutDSRFlow(true);
    f->SetControlDTR(dtrHandshake);
    f->SetControlRTS(rtsToggle);
    f->SetDSRSensitivity(true);
    f->SetTxContinueOnXoff(true);
    f->SetXonXoffOut(true);
    f->SetXonXoffIn(true);
    f->SetXonChar('A');
    f->SetXoffChar('B');
    port.Buffer()->SetInputSize(4096);

    const TComDcb d = port.BuildDcb();
    EXPECT_EQ(d.BaudRate, 115200u);
    EXPECT_EQ(d.Flags, 0x1u | 0x2 | 0x4 | 0x8 | 0x20 | 0x40 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800 | 0x3000);
    EXPECT_EQ(d.Flags & TComDcb::fAbortOnError, 0u);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.Parity, 3);
    EXPECT_EQ(d.StopBits, 2);
    EXPECT_EQ(d.XonChar, 'A');
    EXPECT_EQ(d.XoffChar, 'B');
    EXPECT_EQ(d.ErrorChar, '?');
    EXPECT_EQ(d.EvtChar, '\n');
    EXPECT_EQ(d.XonLim, 1024);
    EXPECT_EQ(d.XoffLim, 1024);

    f->SetControlDTR(dtrEnable);
    f->SetControlRTS(rtsHandshake);
    EXPECT_EQ(port.BuildDcb().Flags & 0x3030u, 0x2010u);
}

TEST(ComDcb, ReplaceWithoutCheckLeavesErrorCharClear)
{
    TComPort port;
    port.Parity()->SetReplace(true);
    port.Parity()->SetReplaceChar('#');
    const TComDcb d = port.BuildDcb();
    EXPECT_EQ(d.Flags & (TComDcb::fErrorChar | TComDcb::fParity), 0u);
    EXPECT_EQ(d.ErrorChar, 0);
}

TEST(ComDcb, CustomRateIsHandedOver)
{
    TComPort port;
    port.SetCustomBaudRate(31250);
    EXPECT_EQ(port.BuildDcb().BaudRate, 9600u);
    port.SetBaudRate(brCustom);
    EXPECT_EQ(port.BuildDcb().BaudRate, 31250u);
}

TEST(ComBuffer, OddSizesAreEvenedDownAndSetTheXonLimits)
{
    TComPort port;
    port.Buffer()->SetInputSize(1025);
    EXPECT_EQ(port.Buffer()->InputSize(), 1024);
    port.Buffer()->SetInputSize(7);
    EXPECT_EQ(port.Buffer()->InputSize(), 6);
    EXPECT_EQ(port.BuildDcb().XonLim, 1);
    port.Buffer()->SetOutputSize(1);
    EXPECT_EQ(port.Buffer()->OutputSize(), 0);
    port.Buffer()->SetOutputSize(-3);   // only positive odd sizes are evened
    EXPECT_EQ(port.Buffer()->OutputSize(), -3);
    port.Buffer()->SetInputSize(1025);
    EXPECT_EQ(port.BuildDcb().XonLim, 256);
    EXPECT_EQ(port.BuildDcb().XoffLim, 256);
}

TEST(ComFlowControl, SummaryReadsAndWrites)
{
    TComFlowControl f;
    EXPECT_EQ(f.FlowControl(), fcNone);
    f.SetFlowControl(fcHardware);
    EXPECT_EQ(f.FlowControl(), fcHardware);
    EXPECT_EQ(f.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(f.OutCTSFlow());
    f.SetControlDTR(dtrHandshake);
    f.SetOutDSRFlow(true);
    EXPECT_EQ(f.FlowControl(), fcHardware);

    f.SetFlowControl(fcSoftware);
    EXPECT_EQ(f.FlowControl(), fcSoftware);
    EXPECT_EQ(f.ControlRTS(), rtsDisable);
    EXPECT_FALSE(f.OutCTSFlow());
    EXPECT_TRUE(f.XonXoffIn() && f.XonXoffOut());
    EXPECT_EQ(f.ControlDTR(), dtrHandshake);   // not part of the summary

    f.SetXonXoffIn(false);
    EXPECT_EQ(f.FlowControl(), fcCustom);
    f.SetFlowControl(fcCustom);   // changes nothing
    EXPECT_TRUE(f.XonXoffOut());
    EXPECT_FALSE(f.XonXoffIn());
    f.SetFlowControl(fcNone);
    EXPECT_EQ(f.FlowControl(), fcNone);
    f.SetControlRTS(rtsEnable);
    EXPECT_EQ(f.FlowControl(), fcCustom);
}

TEST(ComSettings, AssignCopiesSameClassAndRefusesOthers)
{
    TComPort port;
    TComTimeouts t;
    t.SetReadInterval(5);
    t.SetWriteTotalConstant(42);
    port.SetTimeouts(t);
    EXPECT_EQ(port.Timeouts()->ReadInterval(), 5);
    EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), 42);
    EXPECT_EQ(port.BuildTimeouts().ReadIntervalTimeout, 5u);

    TComParity p;
    try {
        port.SetFlowControl(p);
        FAIL() << "assigning a parity object to flow control must be refused";
    } catch (const EAssignError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TComParity to a TComFlowControl");
    }
    EXPECT_EQ(port.BuildTimeouts().ReadIntervalTimeout, 5u);
    port.Timeouts()->SetReadInterval(-1);
    EXPECT_EQ(port.BuildTimeouts().ReadIntervalTimeout, 0xFFFFFFFFu);
}

TEST(ComEvents, MaskConversionBothWays)
{
    EXPECT_EQ(EventsToMask(AllComEvents), 0x05FFu);
    EXPECT_EQ(EventsToMask(TComEvents{evRLSD}), 0x20u);
    EXPECT_EQ(EventsToMask(TComEvents{evRing, evRx80Full}), 0x500u);
    EXPECT_TRUE(MaskToEvents(0x05FF) == AllComEvents);
    EXPECT_TRUE(MaskToEvents(0x0200 | 0x0004) == TComEvents{evTxEmpty});   // unknown bits dropped
    EXPECT_TRUE(MaskToEvents(0).Empty());
}

TEST(EComPortTest, MessagesWithAndWithoutSystemCode)
{
    const EComPort open(1, 16);
    EXPECT_STREQ(open.what(), "Unable to open com port (win error code: 16)");
    EXPECT_EQ(open.Code(), 1);
    EXPECT_EQ(open.SystemCode(), 16);
    const EComPort link(18);
    EXPECT_STREQ(link.what(), "Link (un)registration failed");
    EXPECT_EQ(link.SystemCode(), -1);
    EXPECT_STREQ(EComPort(14).what(), "Cannot set property while connected");
    EXPECT_STREQ(EComPort::TextOf(8), "SetCommTimeouts failed");
    EXPECT_STREQ(EComPort::TextOf(23), "Registry error");
    EXPECT_STREQ(EComPort::TextOf(0), "");
    EXPECT_STREQ(EComPort::TextOf(24), "");
}

TEST(PortNames, MapOntoDevicePaths)
{
    EXPECT_EQ(DevicePathForPort("COM1"), "/dev/ttyS0");
    EXPECT_EQ(DevicePathForPort("COM10"), "/dev/ttyS9");
    EXPECT_EQ(DevicePathForPort("COM256"), "/dev/ttyS255");
    EXPECT_EQ(DevicePathForPort("com3"), "/dev/ttyS2");
    EXPECT_EQ(DevicePathForPort("COM257"), "/dev/COM257");
    EXPECT_EQ(DevicePathForPort("COM0"), "/dev/COM0");
    EXPECT_EQ(DevicePathForPort("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForPort("serial/by-id/usb-FTDI-if00"), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(DevicePathForPort("./ttyFake"), "./ttyFake");
    EXPECT_EQ(DevicePathForPort("../x/ttyFake"), "../x/ttyFake");
    // A relative path that exists from the working directory is taken as it stands.
    char dir[] = "/tmp/konf-portnames-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttyLINK";
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir("/tmp"), 0);
    const std::string relative = std::string(dir).substr(5) + "/ttyLINK";
    EXPECT_EQ(DevicePathForPort(QString::fromStdString(relative)), relative);
    EXPECT_EQ(DevicePathForPort(QString::fromStdString(relative + "X")), "/dev/" + relative + "X");
    ASSERT_EQ(chdir(cwd), 0);
    unlink(link.c_str());
    rmdir(dir);
    EXPECT_EQ(DevicePathForPort("/dev/pts/7"), "/dev/pts/7");
}
