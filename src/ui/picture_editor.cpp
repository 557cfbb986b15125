#include "ui/picture_editor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/files.h"

namespace telvane {

PictureEditor::PictureEditor(int kind, qreal scale, QWidget* parent)
    : QWidget(parent), kind_(kind), scale_(scale) {
    area_ = QRect(0, 0, kColumns * kCell, HeightForKind(kind));
    setFixedSize(qRound(area_.width() * scale_), qRound(area_.height() * scale_));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    hide();
    templateName_ = "textmemo";
}

void PictureEditor::EnsureTemplate() {
    if (template_.isNull()) LoadTemplate(templateName_);
}

const QImage& PictureEditor::BackBuffer() const {
    const_cast<PictureEditor*>(this)->EnsureTemplate();
    return back_;
}

void PictureEditor::LoadTemplate(const QString& name) {
    std::filesystem::path file = FindShippedFile(("gif/" + name + ".gif").toStdString());
    QImage decoded;
    if (!file.empty()) decoded.load(QString::fromStdString(file.string()));
    template_ = QImage(area_.size(), QImage::Format_RGB32);
    template_.fill(Qt::white);
    QPainter p(&template_);
    if (decoded.isNull()) {
        p.setPen(Qt::black);
        p.drawRect(area_.adjusted(0, 0, -1, -1));
    } else {
        p.drawImage(0, 0, decoded);
    }
    p.end();
    back_ = template_;
    templateName_ = name;
    update();
}

void PictureEditor::Clear() {
    lastPoint_ = QPoint(-1, -1);
    blank_ = 1;
    for (auto& row : cells_)
        row.fill(0);
    back_ = template_;
    update();
}

void PictureEditor::ToggleInvert() {
    inverted_ = !inverted_;
    drawColour_ = inverted_ ? kAqua : qRgb(0, 0, 0);
    backgroundColour_ = inverted_ ? qRgb(0, 0, 0) : kAqua;
    LoadTemplate(inverted_ ? "invmemo" : "textmemo");
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            if (cells_[r][c]) SetAndDraw(c, r, drawColour_, 1);
        }
    }
}

std::u16string PictureEditor::BitmapToHex() const {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string hex;
    hex.reserve(kRows * kColumns / 4);
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; c += 4) {
            int nibble = 0;
            for (int k = 0; k < 4; ++k)
                nibble = nibble << 1 | ((cells_[r][c + k] != 0) ^ inverted_);
            hex += kDigits[nibble];
        }
    }
    return hex;
}

int PictureEditor::Cell(int column, int row) const {
    if (column < 0 || column >= kColumns || row < 0 || row >= kRows) return 0;
    return cells_[row][column];
}

void PictureEditor::SetAndDraw(int column, int row, QRgb colour, int value) {
    // Strokes may end outside the grid; only cells of the visible area are touched.
    if (column < 0 || column >= kColumns || row < 0 || row * kCell >= area_.height()) return;
    cells_[row][column] = value;
    EnsureTemplate();
    QPainter p(&back_);
    p.fillRect(column * kCell, row * kCell, kCell, kCell, QColor(colour));
    update(QRectF(column * kCell * scale_, row * kCell * scale_, kCell * scale_, kCell * scale_)
               .toAlignedRect()
               .adjusted(-1, -1, 1, 1));
}

void PictureEditor::DrawCellLine(QPoint from, QPoint to) {
    const int x1 = from.x(), y1 = from.y(), x2 = to.x(), y2 = to.y();
    if (x1 == x2) {
        for (int y = std::min(y1, y2) + 1; y < std::max(y1, y2); ++y) {
            SetAndDraw(x1, y, drawColour_, 1);
        }
    } else if (y1 == y2) {
        for (int x = std::min(x1, x2) + 1; x < std::max(x1, x2); ++x) {
            SetAndDraw(x, y1, drawColour_, 1);
        }
    } else if (std::abs(x1 - x2) > std::abs(y1 - y2)) {
        for (int x = std::min(x1, x2) + 1; x < std::max(x1, x2); ++x) {
            SetAndDraw(x, (x - x2) * (y1 - y2) / (x1 - x2) + y2, drawColour_, 1);
        }
    } else {
        for (int y = std::min(y1, y2) + 1; y < std::max(y1, y2); ++y) {
            SetAndDraw((y - y2) * (x1 - x2) / (y1 - y2) + x2, y, drawColour_, 1);
        }
    }
}

void PictureEditor::PenDown(QPoint pos) {
    if (!area_.contains(pos)) return;
    lastPoint_ = pos;
    moved_ = false;
}

void PictureEditor::PenMove(QPoint pos) {
    if (!area_.contains(pos)) {
        lastPoint_ = QPoint(-1, -1);
        PenUp(pos);
        return;
    }
    if (!Stroking()) return;
    blank_ = 0;
    QPoint last(lastPoint_.x() / kCell, lastPoint_.y() / kCell);
    SetAndDraw(last.x(), last.y(), drawColour_, 1);
    QPoint current(pos.x() / kCell, pos.y() / kCell);
    DrawCellLine(last, current);
    lastPoint_ = pos;
    moved_ = true;
}

void PictureEditor::PenUp(QPoint pos) {
    if (!Stroking()) return;
    QPoint last(lastPoint_.x() / kCell, lastPoint_.y() / kCell);
    // A release outside the area ends at the nearest cell inside it.
    pos.setX(std::clamp(pos.x(), 0, area_.width() - 1));
    pos.setY(std::clamp(pos.y(), 0, area_.height() - 1));
    QPoint current(pos.x() / kCell, pos.y() / kCell);
    blank_ = 0;
    if (last != current || moved_) {
        SetAndDraw(last.x(), last.y(), drawColour_, 1);
        DrawCellLine(last, current);
        SetAndDraw(current.x(), current.y(), drawColour_, 1);
    } else if (Cell(last.x(), last.y())) {
        SetAndDraw(last.x(), last.y(), backgroundColour_, 0);
    } else {
        SetAndDraw(last.x(), last.y(), drawColour_, 1);
    }
    lastPoint_ = QPoint(-1, -1);
}

QPoint PictureEditor::Logical(QPointF devicePos) const {
    return QPoint(static_cast<int>(std::floor(devicePos.x() / scale_)),
                  static_cast<int>(std::floor(devicePos.y() / scale_)));
}

void PictureEditor::paintEvent(QPaintEvent*) {
    EnsureTemplate();
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(rect(), back_);
    if (hasFocus()) {
        p.setPen(QPen(Qt::red, 1));
        p.drawRect(CursorRect().adjusted(0, 0, -1, -1));
    }
}

QRect PictureEditor::CursorRect() const {
    return QRectF(cursor_.x() * kCell * scale_, cursor_.y() * kCell * scale_, kCell * scale_,
                  kCell * scale_)
        .toAlignedRect()
        .adjusted(-1, -1, 1, 1);
}

void PictureEditor::keyPressEvent(QKeyEvent* event) {
    QPoint step;
    switch (event->key()) {
        case Qt::Key_Left:
            step = {-1, 0};
            break;
        case Qt::Key_Right:
            step = {1, 0};
            break;
        case Qt::Key_Up:
            step = {0, -1};
            break;
        case Qt::Key_Down:
            step = {0, 1};
            break;
        case Qt::Key_Space:
            blank_ = 0;
            if (Cell(cursor_.x(), cursor_.y())) {
                SetAndDraw(cursor_.x(), cursor_.y(), backgroundColour_, 0);
            } else {
                SetAndDraw(cursor_.x(), cursor_.y(), drawColour_, 1);
            }
            return;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    update(CursorRect());
    cursor_.setX(std::clamp(cursor_.x() + step.x(), 0, kColumns - 1));
    cursor_.setY(std::clamp(cursor_.y() + step.y(), 0, VisibleRows() - 1));
    update(CursorRect());
    if (event->modifiers() & Qt::ShiftModifier) {
        blank_ = 0;
        SetAndDraw(cursor_.x(), cursor_.y(), drawColour_, 1);
    }
}

void PictureEditor::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update(CursorRect());
}

void PictureEditor::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update(CursorRect());
}

void PictureEditor::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) PenDown(Logical(event->position()));
}

void PictureEditor::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) PenMove(Logical(event->position()));
}

void PictureEditor::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) PenUp(Logical(event->position()));
}

}  // namespace telvane
