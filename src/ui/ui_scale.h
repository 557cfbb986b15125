// How big the 240 x 320 layout is drawn, and the two interface fonts.
#pragma once

#include <QFont>
#include <QRect>

namespace telvane {

// The largest factor (in quarter steps, at least 1) at which a window of `logicalHeight`
// fits in 80% of the screen's available height.  Both are device-independent pixels, so the
// desktop's pixel ratio applies on top.
qreal AutomaticScale(int availableHeight, int logicalHeight);

// TELVANE_SCALE ("1.5", "2") when set and sane, else `stored` percent when nonzero, else the
// automatic factor.
qreal ChooseScale(int availableHeight, int logicalHeight, unsigned storedPercent);

// A rectangle of the logical layout in device-independent pixels at `scale`.
QRect Scaled(qreal scale, int x, int y, int w, int h);

// The interface fonts at `scale`: a Traditional Chinese face at 11 pt (its Latin text in the
// Latin face) and a narrow Latin face at 9 pt, sized in pixels as on the handheld's 96 dpi
// screen.
QFont ChineseUiFont(qreal scale);
QFont LatinUiFont(qreal scale);

}  // namespace telvane
