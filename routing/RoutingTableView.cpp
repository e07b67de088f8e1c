#include "RoutingTableView.h"

#include "ControllerSession.h"
#include "ErrorReport.h"
#include "OuterSize.h"
#include "RoutingMatrixWindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>
#include <stdexcept>

RoutingTableView::RoutingTableView(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Aktualna konfiguracja"));
    // A dialog frame with a title but no title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(pal);
    setAutoFillBackground(true);

    sPanel1 = new QFrame(this);
    sPanel1->setObjectName(QStringLiteral("sPanel1"));
    sPanel1->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sPanel1);

    Memo1 = new QPlainTextEdit(sPanel1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont memoFont(QStringLiteral("Verdana"));
    memoFont.setPixelSize(13);
    Memo1->setFont(memoFont);
    Memo1->setGeometry(7, 7, 586, 130);

    sButton1 = new QPushButton(QStringLiteral("Zamknij okno"), sPanel1);
    sButton1->setObjectName(QStringLiteral("sButton1"));
    sButton1->setGeometry(8, 144, 289, 25);
    sButton1->setAutoDefault(false);
    sButton2 = new QPushButton(QStringLiteral("Aktualizuj"), sPanel1);
    sButton2->setObjectName(QStringLiteral("sButton2"));
    sButton2->setGeometry(304, 144, 291, 25);
    sButton2->setAutoDefault(false);
    connect(sButton1, &QPushButton::clicked, this, [this] { ErrorReport::Guard([this] { HideView(); }); });
    connect(sButton2, &QPushButton::clicked, this, [this] { ErrorReport::Guard([this] { Refresh(); }); });

    setFixedSize(kOuterWidth, kOuterHeight);
}

RoutingTableView::~RoutingTableView() = default;

void RoutingTableView::Bind(TControllerSession* session, RoutingMatrixWindow* matrix)
{
    if (session_)
        disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    if (session_)
        connect(session_, &TControllerSession::DumpLine, this, &RoutingTableView::AppendDumpLine);
    if (matrix_)
        matrix_->removeEventFilter(this);
    matrix_ = matrix;
    if (matrix_) {
        const bool wasVisible = isVisible();
        setParent(matrix_, windowFlags());
        matrix_->installEventFilter(this);
        PlaceBelowMatrix();
        if (wasVisible)
            show();
    }
}

void RoutingTableView::Request()
{
    if (!session_)
        throw std::runtime_error("The configuration view has no line to the controller");
    Memo1->clear();
    show();
    session_->BeginConfigDump();
}

void RoutingTableView::HideView()
{
    hide();
}

void RoutingTableView::Refresh()
{
    Request();
}

void RoutingTableView::FinishClosing()
{
    if (session_)
        session_->EndConfigDump();
}

void RoutingTableView::ClearText()
{
    Memo1->clear();
}

void RoutingTableView::AppendDumpLine(const QString& line)
{
    Memo1->appendPlainText(line);
}

void RoutingTableView::PlaceBelowMatrix()
{
    if (!matrix_)
        return;
    // move() places the outer frame, so frame against frame puts the view right under it.
    const QPoint target = matrix_->frameGeometry().topLeft() + QPoint(0, kBelowMatrix);
    if (frameGeometry().topLeft() != target)
        move(target);
}

bool RoutingTableView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == matrix_) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            PlaceBelowMatrix();
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void RoutingTableView::closeEvent(QCloseEvent* event)
{
    FinishClosing();
    event->accept();
}

void RoutingTableView::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FitToOuterSize(*this, {kOuterWidth, kOuterHeight});
    PlaceBelowMatrix();
}

void RoutingTableView::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    FitToOuterSize(*this, {kOuterWidth, kOuterHeight});
}

