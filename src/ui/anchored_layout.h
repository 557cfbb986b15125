// The handheld's fixed layout, grown with the window: each control keeps its place at the
// first size, and a larger page hands its extra width and height to the controls that can use it.
#pragma once

#include <QRect>
#include <QWidget>
#include <initializer_list>

#include "ui/ui_scale.h"

namespace telvane {

struct Anchor {
    QWidget* w;
    int x, y, width, height;  // logical pixels of the 240 x 268 client area
    // Shares of the extra width (dx) and height (dy) added to x, y, width and height.
    float moveX = 0, moveY = 0, growX = 0, growY = 0;
};

// Places the controls at `scale` on a page `extra` larger than its first size.
inline void PlaceAnchored(qreal scale, QSize extra, std::initializer_list<Anchor> anchors) {
    for (const Anchor& a : anchors) {
        QRect r = Scaled(scale, a.x, a.y, a.width, a.height);
        r.translate(qRound(a.moveX * extra.width()), qRound(a.moveY * extra.height()));
        r.setWidth(r.width() + qRound(a.growX * extra.width()));
        r.setHeight(r.height() + qRound(a.growY * extra.height()));
        a.w->setGeometry(r);
    }
}

}  // namespace telvane
