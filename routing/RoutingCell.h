#pragma once
#include <QCheckBox>

// One routing cell of the matrix. Against the controller's table it may be marked as a change:
// a tint and a frame (solid for a new connection, dashed for one to be removed), and the same
// said in words to assistive tools, so the mark is not colour alone.
class TRoutingCell : public QCheckBox {
    Q_OBJECT
public:
    enum class Mark { None, Added, Removed };

    explicit TRoutingCell(QWidget* parent);

    void SetMark(Mark mark);
    Mark CurrentMark() const { return mark_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Mark mark_ = Mark::None;
};
