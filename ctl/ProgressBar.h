#pragma once
#include <QString>

#include <cstdio>

// A progress line redrawn in place on a terminal; on a pipe or file it draws nothing, so that
// logs and scripts get no control characters.
class TProgressBar {
public:
    TProgressBar(std::FILE* stream, const QString& label, int total);
    ~TProgressBar();

    void Show(int done);
    // Ends the line; nothing more is drawn.
    void Finish();

    bool Drawing() const { return drawing_; }

    // "label [#####     ]  12/256", `width` characters of bar.
    static QString Line(const QString& label, int done, int total, int width = 32);

private:
    std::FILE* stream_;
    QString label_;
    int total_;
    bool drawing_;
    bool shown_ = false;
};
