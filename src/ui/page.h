// What every page of the main window shares: the layout scale, its place in the client area and
// the object names that tests and the window find its controls by ("c1013").
#pragma once

#include <QResizeEvent>
#include <QWidget>

#include "ui/ui_scale.h"

namespace telvane {

class Page : public QWidget {
  public:
    // The client area's first size in logical pixels.
    static constexpr int kWidth = 240;
    static constexpr int kHeight = 268;
    // From this width (logical pixels) a page lays its parts side by side.
    static constexpr int kWideWidth = 440;

    Page(qreal scale, QWidget* parent) : QWidget(parent), scale_(scale) {}

    // Places the controls for the page's current size and state.
    virtual void Relayout() = 0;

    bool Wide() const { return width() >= Scaled(scale_, 0, 0, kWideWidth, 0).width(); }

    // How much larger than its first size the page is now.
    QSize Extra() const {
        const QSize first = Scaled(scale_, 0, 0, kWidth, kHeight).size();
        return QSize(std::max(0, width() - first.width()), std::max(0, height() - first.height()));
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        Relayout();
    }

    template <typename T>
    T* Add(int id, T* w) {
        w->setObjectName(QString("c%1").arg(id));
        return w;
    }

    qreal scale_;
};

}  // namespace telvane
