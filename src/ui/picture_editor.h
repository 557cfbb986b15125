// The pixel editor of picture mode: 72 x 28 cells of 3 x 3 pixels over a template image.
// Taps toggle a cell, strokes paint a line of cells.  Positions are logical pixels of the
// 240 x 320 layout; the widget scales itself by the window's factor.  From the keyboard, the
// arrows move a cell cursor, Space toggles its cell and Shift with an arrow paints the way.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>
#include <string>

namespace telvane {

class PictureEditor : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kColumns = 72;
    static constexpr int kRows = 28;
    static constexpr int kCell = 3;
    static constexpr QRgb kAqua = qRgb(68, 238, 236);

    // kind: 0 picture message, 1 operator logo (14 rows), 2 screen saver.
    PictureEditor(int kind, qreal scale, QWidget* parent = nullptr);

    static int HeightForKind(int kind) { return kind == 1 ? 42 : 84; }
    int Kind() const { return kind_; }
    QRect Area() const { return area_; }

    // Loads gif/<name>.gif from the shipped folders; a missing or broken file gives a white
    // field with a thin black border.
    void LoadTemplate(const QString& name);
    void Clear();
    void ToggleInvert();
    int IsBlank() const { return blank_; }
    bool Inverted() const { return inverted_; }
    // 504 upper-case hex digits, 18 per row, leftmost column in the top bit; inverted pictures
    // send their bits inverted.
    std::u16string BitmapToHex() const;

    int Cell(int column, int row) const;
    QRgb DrawColour() const { return drawColour_; }
    QRgb BackgroundColour() const { return backgroundColour_; }
    const QImage& BackBuffer() const;
    const QString& TemplateName() const { return templateName_; }

    // The keyboard's cell (column, row).
    QPoint Cursor() const { return cursor_; }

    // Pen handling in logical pixels of the editor; the mouse events call these.
    void PenDown(QPoint pos);
    void PenMove(QPoint pos);
    void PenUp(QPoint pos);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    QPoint Logical(QPointF devicePos) const;
    void SetAndDraw(int column, int row, QRgb colour, int value);
    void DrawCellLine(QPoint from, QPoint to);
    bool Stroking() const { return lastPoint_ != QPoint(-1, -1); }
    int VisibleRows() const { return area_.height() / kCell; }
    QRect CursorRect() const;

    int kind_;
    qreal scale_;
    QRect area_;
    std::array<std::array<int, kColumns>, kRows> cells_{};
    int blank_ = 1;
    bool inverted_ = false;
    QRgb drawColour_ = qRgb(0, 0, 0);
    QRgb backgroundColour_ = kAqua;
    QPoint lastPoint_{-1, -1};
    bool moved_ = false;
    QPoint cursor_{0, 0};
    QString templateName_;
    QImage template_;
    QImage back_;
    // The template is read when the editor is first drawn on: most starts never show it.
    void EnsureTemplate();
};

}  // namespace telvane
