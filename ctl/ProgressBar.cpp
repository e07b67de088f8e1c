#include "ProgressBar.h"

#include "Printing.h"

#include <unistd.h>

TProgressBar::TProgressBar(std::FILE* stream, const QString& label, int total)
    : stream_(stream), label_(label), total_(total), drawing_(::isatty(::fileno(stream)) == 1)
{
}

TProgressBar::~TProgressBar()
{
    Finish();
}

void TProgressBar::Show(int done)
{
    if (!drawing_)
        return;
    PrintBytes(stream_, '\r' + Line(label_, done, total_).toUtf8());
    shown_ = true;
}

void TProgressBar::Finish()
{
    if (shown_)
        PrintBytes(stream_, "\n");
    shown_ = false;
    drawing_ = false;
}

QString TProgressBar::Line(const QString& label, int done, int total, int width)
{
    const int filled = total > 0 ? width * qBound(0, done, total) / total : 0;
    const int digits = static_cast<int>(QString::number(total).size());
    return QStringLiteral("%1 [%2%3] %4/%5")
        .arg(label, QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char(' ')))
        .arg(done, digits)
        .arg(total);
}
