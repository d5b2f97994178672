#include "ui/GapLabel.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyle>
#include <algorithm>

namespace quorvane {

TGapLabel::TGapLabel(const QString& Caption, QWidget* Parent) : QLabel(Caption, Parent) {}

void TGapLabel::SetGapControls(std::vector<const QWidget*> Controls) {
    GapControls = std::move(Controls);
    const std::vector<QRect> Rects = PieceRects();
    if (!Rects.empty()) {
        resize(std::max(width(), Rects.back().right() + 1), height());
    }
}

// The caption as drawn: with a buddy, "&" marks the underlined letter.
QString TGapLabel::Shown(const QString& Text) const {
    if (!buddy()) {
        return Text;
    }
    QString Result = Text;
    return Result.replace(QRegularExpression("&(.)"), "\\1");
}

std::vector<TGapLabel::TPiece> TGapLabel::Pieces() const {
    static const QRegularExpression Run(" {2,}");
    std::vector<TPiece> Result;
    qsizetype Start = 0;
    for (const QRegularExpressionMatch& Gap : Run.globalMatch(text())) {
        Result.push_back({text().mid(Start, Gap.capturedStart() - Start), Start});
        Start = Gap.capturedEnd();
    }
    Result.push_back({text().mid(Start), Start});
    return Result;
}

std::vector<QRect> TGapLabel::PieceRects() const {
    const QFontMetrics Metrics(font());
    std::vector<QRect> Rects;
    const std::vector<TPiece> All = Pieces();
    for (size_t I = 0; I < All.size(); ++I) {
        int Left = Metrics.horizontalAdvance(Shown(text().left(All[I].Offset)));
        if (I > 0 && I - 1 < GapControls.size()) {
            const QWidget* Control = GapControls[I - 1];
            const int PastControl =
                Control->geometry().right() + 1 - x() + Metrics.horizontalAdvance(' ');
            Left = std::max(Left, PastControl);
        }
        Rects.emplace_back(Left, 0, Metrics.horizontalAdvance(Shown(All[I].Text)), height());
    }
    return Rects;
}

void TGapLabel::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    const std::vector<TPiece> All = Pieces();
    const std::vector<QRect> Rects = PieceRects();
    int Flags = Qt::AlignLeft | Qt::AlignVCenter;
    if (buddy()) {
        Flags |= Qt::TextShowMnemonic;
    }
    for (size_t I = 0; I < All.size(); ++I) {
        style()->drawItemText(&Painter, Rects[I], Flags, palette(), isEnabled(), All[I].Text,
                              foregroundRole());
    }
}

}  // namespace quorvane
