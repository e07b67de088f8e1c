// The main window's controls at their fixed places, its terminal and timers.
#include "MainWindow.h"

#include "ComPort.h"
#include "ComTerminal.h"
#include "IntroLayer.h"
#include "LockScreen.h"
#include "ReadOnlyCheckBox.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const char* const kInputNames[16] = {"a", "b", "c", "d", "e", "f", "g", "h",
                                     "i", "j", "k", "l", "m", "n", "o", "p"};
const char* const kOutputNames[16] = {"a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1",
                                      "i1", "l1", "o1", "p1", "r1", "s1", "t1", "u1"};
const QColor kSilver(0xC0, 0xC0, 0xC0);

QGroupBox* Panel(QWidget* parent, const char* name, const QString& title, int x, int y, int w, int h)
{
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(x, y, w, h);
    return box;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
    return b;
}

QCheckBox* StateBox(QWidget* parent, const QString& name, const QString& text, int x, int y, int w)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setGeometry(x, y, w, MainWindow::kRowPitch);
    MakeReadOnly(box);
    return box;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(x, y, w, h);
    return l;
}

QTimer* Timer(QObject* parent, const char* name, int intervalMs, bool singleShot, bool precise)
{
    auto* t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(intervalMs);
    t->setSingleShot(singleShot);
    t->setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
    return t;
}

}  // namespace

void MainWindow::BuildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Selvora - konfiguracja"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    // The window's texts were fitted to Arial's widths; Liberation Sans has the same.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);   // 8 points on a 96 dpi screen
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSilver);
    pal.setColor(QPalette::Button, kSilver);
    setPalette(pal);
    setAutoFillBackground(true);

    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    ClientArea->setGeometry(0, 0, kClientWidth, kClientHeight);

    InputsPanel = Panel(ClientArea, "sPanel1", QStringLiteral("Stan wejść"), 0, 0, 185, 369);
    for (int k = 0; k < 16; ++k)
        InputBoxes[k] = StateBox(InputsPanel, QLatin1String(kInputNames[k]), QString(), 8,
                                 kRowTop + k * kRowPitch, 170);
    LabelInactive = Label(InputsPanel, "sLabel1", QStringLiteral("wejście nieaktywne"), 8, 292, 170, 14);
    LegendInactive = StateBox(InputsPanel, QStringLiteral("sCheckBox1"),
                              QStringLiteral("oznacza podciągnięcie do plusa "), 6, 306, 178);
    LabelActive = Label(InputsPanel, "sLabel2", QStringLiteral("wejście aktywne"), 8, 328, 170, 14);
    LegendActive = StateBox(InputsPanel, QStringLiteral("sCheckBox2"),
                            QStringLiteral("oznacza stan niski na wejściu"), 6, 342, 178);
    LegendActive->setChecked(true);

    OutputsPanel = Panel(ClientArea, "sPanel2", QStringLiteral("Zmień stan wyjść"), 187, 0, 230, 345);
    for (int k = 0; k < 16; ++k) {
        const int y = kRowTop + k * kRowPitch;
        OutputButtons[k] = Button(OutputsPanel, kOutputNames[k], QString(), 8, y, 177, kRowPitch);
        OutputIndicators[k] = StateBox(OutputsPanel, QStringLiteral("sCheckBox%1").arg(15 + k),
                                       QString(), 192, y, 20);
    }
    LegendOn = StateBox(OutputsPanel, QStringLiteral("sCheckBox3"), QStringLiteral("Oznacza załączony"),
                        8, 312, 200);
    LegendOn->setChecked(true);

    ConfigPanel = Panel(ClientArea, "sPanel3", QStringLiteral("Konfiguracja"), 419, 0, 185, 65);
    sBitBtn2 = Button(ConfigPanel, "sBitBtn2", QStringLiteral("Rozpocznij"), 8, 28, 169, 27);

    LearningPanel = Panel(ClientArea, "sPanel4", QStringLiteral("Nauka RC 5"), 419, 67, 185, 65);
    sBitBtn1 = Button(LearningPanel, "sBitBtn1", QStringLiteral("Rozpocznij"), 8, 28, 169, 27);

    OtherPanel = Panel(ClientArea, "sPanel5", QStringLiteral("Inne"), 419, 134, 185, 155);
    sButton4 = Button(OtherPanel, "sButton4", QStringLiteral("Zmień tryb"), 8, 22, 169, 27);
    sButton1 = Button(OtherPanel, "sButton1", QStringLiteral("Nadaj nazwy"), 8, 54, 169, 27);
    sButton2 = Button(OtherPanel, "sButton2", QStringLiteral("Zamknij program"), 8, 86, 169, 27);
    sButton3 = Button(OtherPanel, "sButton3", QStringLiteral("Zablokuj program"), 8, 118, 169, 27);

    ModePanel = Panel(ClientArea, "sPanel6", QString(), 419, 291, 185, 54);
    LabelMode = Label(ModePanel, "sLabel3", QStringLiteral("Tryb"), 8, 4, 100, 14);
    sButton5 = Button(ModePanel, "sButton5", QString(), 4, 20, 177, 30);
    sButton5->setEnabled(false);
    QFont modeFont = sButton5->font();
    // 15 pixels would be the original's size, but "Pilot i komputer nadrzędne" needs 178 of the
    // 175 the button leaves for its caption.
    modeFont.setPixelSize(14);
    sButton5->setFont(modeFont);
    QPalette modePal = sButton5->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        modePal.setColor(group, QPalette::ButtonText, Qt::blue);
    sButton5->setPalette(modePal);

    // The footer reads like a link; a flat button keeps it reachable by keyboard.
    sWebLabel1 = Button(ClientArea, "sWebLabel1", QStringLiteral("Selvora - sterowniki automatyki domowej"),
                        187, 347, 418, 22);
    sWebLabel1->setFlat(true);
    sWebLabel1->setCursor(Qt::PointingHandCursor);
    QFont linkFont = sWebLabel1->font();
    linkFont.setUnderline(true);
    sWebLabel1->setFont(linkFont);
    QPalette linkPal = sWebLabel1->palette();
    linkPal.setColor(QPalette::ButtonText, QColor(0x00, 0x00, 0x80));
    sWebLabel1->setPalette(linkPal);

    BuildTerminalPanel();

    sPanel10 = new TLockScreen(this);
    sPanel10->setGeometry(0, 0, 604, 371);

    ShockwaveFlash1 = new TIntroLayer(this);
    ShockwaveFlash1->setObjectName(QStringLiteral("ShockwaveFlash1"));
    ShockwaveFlash1->setGeometry(kClientWidth, 0, 609, 402);   // off-screen until start-up

    // Layers from bottom to top: controls, terminal panel, lock screen, intro.
    sPanel7->raise();
    sPanel10->raise();
    ShockwaveFlash1->raise();

    setTabOrder(sBitBtn2, sBitBtn1);
    QWidget* previous = sBitBtn1;
    for (QWidget* w : {static_cast<QWidget*>(sButton4), static_cast<QWidget*>(sButton1),
                       static_cast<QWidget*>(sButton2), static_cast<QWidget*>(sButton3)}) {
        setTabOrder(previous, w);
        previous = w;
    }
}

void MainWindow::BuildTerminalPanel()
{
    sPanel7 = new QFrame(this);
    sPanel7->setObjectName(QStringLiteral("sPanel7"));
    sPanel7->setGeometry(0, kClientHeight, 609, 369);
    sPanel7->setFrameStyle(QFrame::Panel | QFrame::Raised);
    sPanel7->setAutoFillBackground(true);
    sPanel7->hide();

    sLabel8 = Label(sPanel7, "sLabel8", QStringLiteral("Terminal"), 272, 8, 80, 14);

    ComTerminal1 = new TComTerminal(sPanel7);
    ComTerminal1->setObjectName(QStringLiteral("ComTerminal1"));
    ComTerminal1->BeginLoading();
    ComTerminal1->setGeometry(8, 24, 593, 313);
    ComTerminal1->SetComPort(port_);
    ComTerminal1->SetEmulation(teVT100orANSI);
    ComTerminal1->SetColor(0x000000);
    QFont termFont(QStringLiteral("DejaVu Sans Mono"));
    termFont.setStyleHint(QFont::TypeWriter);
    termFont.setFixedPitch(true);
    termFont.setPixelSize(9);
    ComTerminal1->SetTermFont(termFont, 0xFFFFFF);
    ComTerminal1->SetScrollBars(ssVertical);
    ComTerminal1->SetSmoothScroll(true);
    ComTerminal1->SetWrapLines(true);
    ComTerminal1->Loaded();

    sButton7 = Button(sPanel7, "sButton7", QStringLiteral("Zamknij okno "), 8, 340, 593, 25);
    sButton7->setToolTip(QStringLiteral(
        "Zamknięcie w trakcie nauki komend może spowodować, że urządzenie nie będzie działać prawidłowo !"));
}

void MainWindow::BuildTimers()
{
    introTimer = Timer(this, "introTimer", 15000, true, false);
    titleClock = Timer(this, "titleClock", 10, true, true);   // first tick soon; then once a second
    lockWatch = Timer(this, "lockWatch", 20, false, false);
    firstRunNaming = Timer(this, "firstRunNaming", 1500, true, false);
    // The polling cycle's timers (firstInputRead, outputPoll, inputPoll) are the session's.
    // Running from the window's creation on, as designed.
    introTimer->start();
    titleClock->start();
    session_->Start();
}
