#pragma once
#include <QString>
#include <QWidget>

class QMovie;
class QTimer;

// The intro animation over the main window. Plays the given file when Qt can decode it as an
// animation, otherwise draws its own. It only animates while visible and playing, so it costs
// nothing once hidden.
class TIntroLayer : public QWidget {
    Q_OBJECT
public:
    explicit TIntroLayer(QWidget* parent = nullptr);

    // Loads the animation and starts it, as a player does when given a movie.
    void SetMovie(const QString& path);
    QString Movie() const { return path_; }
    void Play();
    void Stop();
    bool Playing() const { return playing_; }
    // True when the file is played, false when the built-in animation stands in.
    bool PlaysFile() const { return movie_ != nullptr; }

    static constexpr int kFrameIntervalMs = 50;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void UpdateRunning();
    void PaintBuiltIn(QPainter& p);

    QString path_;
    QMovie* movie_ = nullptr;
    QTimer* frameTimer_ = nullptr;
    int frame_ = 0;
    bool playing_ = false;
};
