// A label whose caption leaves runs of blanks for controls that sit in
// them ("Block size:    x    pixels" around two lists). The text after each
// run starts just right of its control, so the caption never runs under a
// control, whatever the widths of the font's letters and blanks.
#pragma once

#include <QLabel>
#include <QRect>
#include <vector>

namespace quorvane {

class TGapLabel : public QLabel {
public:
    TGapLabel(const QString& Caption, QWidget* Parent);

    // The controls in the caption's runs of blanks, left to right; they are
    // the label's siblings. The label widens if its text needs it.
    void SetGapControls(std::vector<const QWidget*> Controls);

    // Where each piece of text between the runs is drawn, in the label's
    // coordinates.
    std::vector<QRect> PieceRects() const;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    struct TPiece {
        QString Text;
        qsizetype Offset;  // in the caption
    };
    std::vector<TPiece> Pieces() const;
    QString Shown(const QString& Text) const;

    std::vector<const QWidget*> GapControls;
};

}  // namespace quorvane
