#pragma once
// Answers the modal message boxes of a test as a user would and remembers what they said.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

class ModalAnswers : public QObject {
public:
    // What a box gets once the captions are used up: Escape (its cancel button), or accept().
    enum class Otherwise { Escape, Accept };

    // Each box that opens is answered with the next button caption; once they are used up, as
    // `otherwise` says.
    explicit ModalAnswers(QStringList answers = {}, Otherwise otherwise = Otherwise::Escape)
        : answers_(std::move(answers)), otherwise_(otherwise)
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
        timer_.start();
    }

    void Then(const QString& answer) { answers_.append(answer); }

    QStringList titles;
    QStringList texts;
    // Called with each box before it is answered.
    std::function<void(QMessageBox*)> seen;

private:
    void Answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == last_)
            return;
        last_ = box;
        titles.append(box->windowTitle());
        texts.append(box->text());
        if (seen)
            seen(box);
        if (!answers_.isEmpty()) {
            const QString caption = answers_.takeFirst();
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == caption) {
                    b->click();
                    return;
                }
            }
        }
        if (otherwise_ == Otherwise::Accept)
            box->accept();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    }

    QTimer timer_;
    QStringList answers_;
    Otherwise otherwise_;
    QPointer<QMessageBox> last_;
};
