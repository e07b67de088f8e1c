#pragma once
#include <QCheckBox>

// The title of one input's column: "<name> steruje", a check box that cannot be toggled. A
// caption too long for the column is shown cut with "…"; the whole caption stays its text, its
// tooltip and its accessible name. A count of the column's changed cells follows the caption.
class TColumnHeader : public QCheckBox {
    Q_OBJECT
public:
    explicit TColumnHeader(QWidget* parent);

    void SetCaption(const QString& caption);
    // Cells of this column that differ from the controller's table; 0 shows no count.
    void SetChanges(int changes);
    int Changes() const { return changes_; }

    // As wide as the caption needs, but no wider than `maxWidth`.
    void FitWidth(int maxWidth);

    // What the header paints: the caption, cut to fit, and the count.
    QString DisplayedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString Suffix() const;
    void Describe();

    int changes_ = 0;
};
