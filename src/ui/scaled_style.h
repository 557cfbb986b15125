// The desktop's style with the sizes the handheld layout is drawn at: tick boxes, radio
// buttons, small icons and scroll bars grow with the window's scale, as its text does.
#pragma once

#include <QProxyStyle>

namespace telvane {

class ScaledStyle : public QProxyStyle {
    Q_OBJECT

  public:
    // Takes `base` (the desktop's style); null: the application's default.
    ScaledStyle(qreal scale, QStyle* base) : QProxyStyle(base), scale_(scale) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int base = QProxyStyle::pixelMetric(metric, option, widget);
        switch (metric) {
            case PM_IndicatorWidth:
            case PM_IndicatorHeight:
            case PM_ExclusiveIndicatorWidth:
            case PM_ExclusiveIndicatorHeight:
            case PM_ScrollBarExtent:
            case PM_SmallIconSize:
            case PM_ListViewIconSize:
            case PM_ToolBarIconSize:
            case PM_ButtonIconSize:
            case PM_MessageBoxIconSize:
                return qRound(base * scale_);
            default:
                return base;
        }
    }

    qreal Scale() const { return scale_; }

  private:
    qreal scale_;
};

}  // namespace telvane
