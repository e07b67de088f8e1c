#include "NamingDialog.h"

#include "ErrorReport.h"
#include "NamingFile.h"
#include "SettingsFile.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

NamingDialog::NamingDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Nadaj nazwy ..."));
    setFixedSize(419, 456);

    sLabel1 = new QLabel(QStringLiteral("Wejścia"), this);
    sLabel1->setObjectName(QStringLiteral("sLabel1"));
    sLabel1->setGeometry(8, 6, 193, 16);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 24, 193, 337);
    Memo1->setPlainText(NamingFile::DefaultInputNames());
    sLabel1->setBuddy(Memo1);
    Memo1->setAccessibleName(sLabel1->text());

    sLabel2 = new QLabel(QStringLiteral("Wyjścia"), this);
    sLabel2->setObjectName(QStringLiteral("sLabel2"));
    sLabel2->setGeometry(218, 6, 193, 16);

    Memo2 = new QPlainTextEdit(this);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setGeometry(218, 24, 193, 337);
    Memo2->setPlainText(NamingFile::DefaultOutputNames());
    sLabel2->setBuddy(Memo2);
    Memo2->setAccessibleName(sLabel2->text());

    sLabel3 = new QLabel(QStringLiteral("Wirtualny port COM"), this);
    sLabel3->setObjectName(QStringLiteral("sLabel3"));
    sLabel3->setGeometry(8, 374, 140, 16);

    sEdit1 = new QLineEdit(QStringLiteral("COM1"), this);
    sEdit1->setObjectName(QStringLiteral("sEdit1"));
    sEdit1->setGeometry(150, 371, 121, 22);
    sLabel3->setBuddy(sEdit1);
    sEdit1->setAccessibleName(sLabel3->text());

    sButton1 = new QPushButton(QStringLiteral("Zapisz"), this);
    sButton1->setObjectName(QStringLiteral("sButton1"));
    sButton1->setGeometry(8, 403, 403, 45);
    // Enter in the port field must not save and end the program; only the button does.
    sButton1->setAutoDefault(false);
    connect(sButton1, &QPushButton::clicked, this, [this] { ErrorReport::Guard([this] { SaveNames(); }); });
}

QString NamingDialog::BoxText(const QPlainTextEdit* box)
{
    // toPlainText() would turn non-breaking spaces into blanks; the raw text keeps them and
    // marks block ends with paragraph separators.
    QString text = box->document()->toRawText();
    for (QChar& ch : text) {
        if (ch == QChar::ParagraphSeparator || ch == QChar::LineSeparator)
            ch = QLatin1Char('\n');
    }
    return text;
}

void NamingDialog::SaveNames()
{
    Memo3.clear();
    Memo3 = NamingFile::Compose(sEdit1->text(), BoxText(Memo1), BoxText(Memo2));
    SettingsFile::Save(SettingsFile::kFileName, Memo3);

    QMessageBox::information(this, QGuiApplication::applicationDisplayName(),
                             QStringLiteral("Uruchom ponownie program !"));
    OnTerminate();
    // Leave a modal run so the end of the program is not held up by this dialog.
    accept();
}
