#pragma once
// Answers the modal message boxes of a test as a user would and remembers what they said.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

class ModalAnswers : public QObject {
public:
    // Each box that opens is answered with the next button caption; once they are used up, a box
    // is answered with Escape.
    explicit ModalAnswers(QStringList answers = {}) : answers_(std::move(answers))
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
        timer_.start();
    }

    void Then(const QString& answer) { answers_.append(answer); }

    QStringList titles;
    QStringList texts;

private:
    void Answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == last_)
            return;
        last_ = box;
        titles.append(box->windowTitle());
        texts.append(box->text());
        if (!answers_.isEmpty()) {
            const QString caption = answers_.takeFirst();
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == caption) {
                    b->click();
                    return;
                }
            }
        }
        QTest::keyClick(box, Qt::Key_Escape);
    }

    QTimer timer_;
    QStringList answers_;
    QPointer<QMessageBox> last_;
};
