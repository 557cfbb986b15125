// Tabs as small as their texts, as on the handheld, so that five folder names fit in either
// language.
#pragma once

#include <QProxyStyle>
#include <QTabBar>

namespace telvane {

class CompactTabStyle : public QProxyStyle {
  public:
    explicit CompactTabStyle(qreal scale) : scale_(scale) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return qRound(8 * scale_);
        if (metric == PM_TabBarTabVSpace) return qRound(4 * scale_);
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

  private:
    qreal scale_;
};

// A tab strip along the bottom edge of a list.  The style is a child of `owner`, made after the
// strip, so that it outlives it.
inline QTabBar* MakeCompactTabs(qreal scale, QWidget* owner) {
    auto* tabs = new QTabBar(owner);
    auto* style = new CompactTabStyle(scale);
    style->setParent(owner);
    tabs->setStyle(style);
    tabs->setShape(QTabBar::RoundedSouth);
    tabs->setExpanding(false);
    tabs->setDrawBase(false);
    tabs->setUsesScrollButtons(false);
    return tabs;
}

}  // namespace telvane
