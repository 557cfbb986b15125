#include "ui/ui_scale.h"

#include <QStringList>
#include <cmath>
#include <cstdlib>

namespace telvane {

qreal AutomaticScale(int availableHeight, int logicalHeight) {
    if (availableHeight <= 0 || logicalHeight <= 0) return 1.0;
    qreal fit = 0.8 * availableHeight / logicalHeight;
    return std::max(1.0, std::floor(fit * 4) / 4);
}

qreal ChooseScale(int availableHeight, int logicalHeight, unsigned storedPercent) {
    if (const char* env = std::getenv("TELVANE_SCALE"); env && *env) {
        char* end = nullptr;
        double v = std::strtod(env, &end);
        if (end != env && v >= 0.5 && v <= 8) return v;
    }
    if (storedPercent >= 50 && storedPercent <= 800) return storedPercent / 100.0;
    return AutomaticScale(availableHeight, logicalHeight);
}

QRect Scaled(qreal scale, int x, int y, int w, int h) {
    int left = qRound(x * scale);
    int top = qRound(y * scale);
    // Edges are rounded, not sizes, so that neighbours stay flush at fractional scales.
    return QRect(left, top, qRound((x + w) * scale) - left, qRound((y + h) * scale) - top);
}

namespace {

QFont UiFont(const QStringList& families, qreal points, qreal scale) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(std::max(1, qRound(points * 96.0 / 72.0 * scale)));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace

QFont ChineseUiFont(qreal scale) {
    // Latin letters and digits in the English face: the Chinese face's own are drawn like a
    // typewriter's.  Every other character falls through to the Chinese faces.
    return UiFont({"DejaVu Sans Condensed", "Liberation Sans Narrow", "AR PL UMing TW",
                   "AR PL UMing HK", "Noto Sans CJK TC", "WenQuanYi Zen Hei"},
                  11, scale);
}

QFont LatinUiFont(qreal scale) {
    return UiFont({"DejaVu Sans Condensed", "Liberation Sans Narrow", "DejaVu Sans"}, 9, scale);
}

}  // namespace telvane
