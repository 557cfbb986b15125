#include "ui/icons.h"

#include <QFontMetricsF>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <cmath>
#include <map>
#include <tuple>

#include "ui/ui_scale.h"

namespace telvane {
namespace {

const QColor kInk(40, 52, 70);
const QColor kAccent(32, 128, 200);
const QColor kPaper(250, 250, 246);
const QColor kRed(200, 50, 50);

// Every image is drawn on a 16 x 16 design grid and scaled to the requested size.
void Draw(QPainter& p, Icon icon) {
    QPen ink(kInk, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(ink);
    p.setBrush(Qt::NoBrush);
    switch (icon) {
        case Icon::kCompose: {
            p.setBrush(kPaper);
            p.drawRect(QRectF(2, 2, 9, 12));
            p.setPen(QPen(kAccent, 2.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(7, 11), QPointF(14, 4));
            p.setPen(ink);
            p.drawLine(QPointF(4, 5), QPointF(8, 5));
            p.drawLine(QPointF(4, 8), QPointF(7, 8));
            break;
        }
        case Icon::kCopy:
            p.setBrush(kPaper);
            p.drawRect(QRectF(2, 2, 8, 9));
            p.drawRect(QRectF(6, 5, 8, 9));
            break;
        case Icon::kPaste:
            p.setBrush(QColor(210, 170, 110));
            p.drawRoundedRect(QRectF(2, 3, 10, 12), 1, 1);
            p.setBrush(kPaper);
            p.drawRect(QRectF(7, 7, 7, 8));
            p.setBrush(kInk);
            p.drawRect(QRectF(5, 1.5, 4, 3));
            break;
        case Icon::kCut:
            p.drawEllipse(QRectF(2, 10, 4, 4));
            p.drawEllipse(QRectF(10, 10, 4, 4));
            p.drawLine(QPointF(5.5, 10.5), QPointF(11, 2));
            p.drawLine(QPointF(10.5, 10.5), QPointF(5, 2));
            break;
        case Icon::kDelete:
            p.setPen(QPen(kRed, 2.4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        case Icon::kSms:
        case Icon::kUnread:
            p.setBrush(icon == Icon::kUnread ? QColor(255, 236, 150) : kPaper);
            p.drawRect(QRectF(1.5, 4, 13, 9));
            p.drawPolyline(QPolygonF({QPointF(1.5, 4), QPointF(8, 9), QPointF(14.5, 4)}));
            break;
        case Icon::kRead:
            p.setBrush(kPaper);
            p.drawPolygon(QPolygonF({QPointF(1.5, 7), QPointF(8, 2.5), QPointF(14.5, 7),
                                     QPointF(14.5, 14), QPointF(1.5, 14)}));
            p.drawPolyline(QPolygonF({QPointF(1.5, 7), QPointF(8, 11), QPointF(14.5, 7)}));
            break;
        case Icon::kOutgoing:
            p.setBrush(kPaper);
            p.drawRect(QRectF(1.5, 6, 10, 7.5));
            p.drawPolyline(QPolygonF({QPointF(1.5, 6), QPointF(6.5, 10), QPointF(11.5, 6)}));
            p.setPen(QPen(kAccent, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawLine(QPointF(8, 3.5), QPointF(14.5, 3.5));
            p.drawPolyline(QPolygonF({QPointF(12, 1.5), QPointF(14.5, 3.5), QPointF(12, 5.5)}));
            break;
        case Icon::kPhonebook:
            p.setBrush(kAccent);
            p.drawRoundedRect(QRectF(3, 1.5, 10, 13), 1.5, 1.5);
            p.setBrush(kPaper);
            p.drawEllipse(QRectF(6, 4, 4, 4));
            p.drawChord(QRectF(4.5, 9, 7, 6), 0, 180 * 16);
            break;
        case Icon::kSettings: {
            // The outline of a rim with eight teeth, drawn as one path: overlapping shapes
            // would cancel where they cross and show their inner edges.
            constexpr qreal kRim = 5, kHalfTooth = 1.5, kTip = 7;
            const qreal base = std::sqrt(kRim * kRim - kHalfTooth * kHalfTooth);
            const qreal toothAngle = qRadiansToDegrees(std::asin(kHalfTooth / kRim));
            const QRectF rim(8 - kRim, 8 - kRim, 2 * kRim, 2 * kRim);
            QPainterPath gear;
            for (int i = 0; i < 8; ++i) {
                QTransform t;
                t.translate(8, 8);
                t.rotate(i * 45);
                const QPointF start = t.map(QPointF(-kHalfTooth, -base));
                if (i == 0) {
                    gear.moveTo(start);
                } else {
                    gear.lineTo(start);
                }
                gear.lineTo(t.map(QPointF(-kHalfTooth, -kTip)));
                gear.lineTo(t.map(QPointF(kHalfTooth, -kTip)));
                gear.lineTo(t.map(QPointF(kHalfTooth, -base)));
                gear.arcTo(rim, 90 - toothAngle - i * 45, -(45 - 2 * toothAngle));
            }
            gear.closeSubpath();
            p.setBrush(QColor(150, 160, 175));
            p.drawPath(gear);
            p.setBrush(kPaper);
            p.drawEllipse(QPointF(8, 8), 2, 2);
            break;
        }
        case Icon::kConnect:
            p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 14), QPointF(4, 7));
            p.setPen(QPen(kAccent, 1.4, Qt::SolidLine, Qt::RoundCap));
            p.drawArc(QRectF(1, 4, 6, 6), 30 * 16, 120 * 16);
            p.drawArc(QRectF(-1, 2, 10, 10), 30 * 16, 120 * 16);
            p.setBrush(QColor(90, 180, 90));
            p.setPen(ink);
            p.drawRect(QRectF(9, 10, 2, 4));
            p.drawRect(QRectF(12, 7, 2, 7));
            break;
        case Icon::kSortAscending:
            p.setBrush(kInk);
            p.drawPolygon(QPolygonF({QPointF(4, 11), QPointF(12, 11), QPointF(8, 5)}));
            break;
        case Icon::kSortDescending:
            p.setBrush(kInk);
            p.drawPolygon(QPolygonF({QPointF(4, 5), QPointF(12, 5), QPointF(8, 11)}));
            break;
        case Icon::kCheckColumn:
            p.drawRect(QRectF(3.5, 3.5, 9, 9));
            p.drawPolyline(QPolygonF({QPointF(5.5, 8), QPointF(7.5, 10), QPointF(11, 5.5)}));
            break;
        case Icon::kCheckNone:
        case Icon::kCheckAll:
            p.setBrush(Qt::white);
            p.drawRect(QRectF(2.5, 2.5, 11, 11));
            if (icon == Icon::kCheckAll) {
                p.setPen(QPen(kInk, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 10.5), QPointF(11.5, 5)}));
            }
            break;
        case Icon::kDelivered:
            p.setPen(QPen(QColor(30, 140, 60), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
            break;
        case Icon::kDeliveryPending:
            p.setBrush(kPaper);
            p.drawEllipse(QRectF(2, 2, 12, 12));
            p.drawPolyline(QPolygonF({QPointF(8, 4.5), QPointF(8, 8), QPointF(11, 9.5)}));
            break;
        case Icon::kDeliveryFailed:
            p.setBrush(kRed);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(2, 2, 12, 12));
            p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 4.5), QPointF(8, 8.5));
            p.drawPoint(QPointF(8, 11.5));
            break;
        case Icon::kWindow:
            p.setBrush(kAccent);
            p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
            p.setPen(QPen(Qt::white, 1.2));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3.5, 5, 9, 6));
            p.setPen(QPen(kAccent, 1.0));
            p.drawPolyline(QPolygonF({QPointF(3.5, 5), QPointF(8, 8.5), QPointF(12.5, 5)}));
            break;
    }
}

class DrawnIconEngine : public QIconEngine {
  public:
    explicit DrawnIconEngine(Icon icon) : icon_(icon) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        // Lists paint the same image on every line of every repaint: it is drawn once per
        // size.  A scaled or turned painter gets the vectors, which stay sharp.
        if (painter->transform().type() > QTransform::TxTranslate) {
            Render(*painter, rect, mode);
            return;
        }
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const Key key{size.width(), size.height(), mode, scale};
        if (auto it = drawn_.find(key); it != drawn_.end()) return it->second;
        QPixmap pm(size * scale);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            Render(p, QRect(QPoint(0, 0), pm.size()), mode);
        }
        pm.setDevicePixelRatio(scale);
        if (drawn_.size() >= 16) drawn_.clear();
        drawn_.emplace(key, pm);
        return pm;
    }
    QIconEngine* clone() const override { return new DrawnIconEngine(icon_); }

  private:
    void Render(QPainter& painter, const QRect& rect, QIcon::Mode mode) const {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(rect.topLeft());
        painter.scale(rect.width() / 16.0, rect.height() / 16.0);
        if (mode == QIcon::Disabled) painter.setOpacity(0.4);
        Draw(painter, icon_);
        painter.restore();
    }

    using Key = std::tuple<int, int, QIcon::Mode, qreal>;
    Icon icon_;
    std::map<Key, QPixmap> drawn_;
};

}  // namespace

QIcon MakeIcon(Icon icon) {
    return QIcon(new DrawnIconEngine(icon));
}

QPixmap AboutPicture(int width, int height, qreal devicePixelRatio) {
    QPixmap pm(QSize(width, height) * devicePixelRatio);
    pm.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(32, 110, 180));
    sky.setColorAt(1, QColor(150, 205, 235));
    p.fillRect(QRectF(0, 0, width, height), sky);
    // A handset with a message leaving it.
    const qreal s = height / 97.0;
    p.scale(s, s);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(40, 52, 70));
    p.drawRoundedRect(QRectF(28, 14, 34, 70), 6, 6);
    p.setBrush(QColor(200, 235, 210));
    p.drawRect(QRectF(33, 24, 24, 22));
    p.setBrush(QColor(255, 250, 225));
    p.drawRect(QRectF(88, 30, 44, 28));
    p.drawPolyline(QPolygonF({QPointF(88, 30), QPointF(110, 46), QPointF(132, 30)}));
    p.setPen(QPen(Qt::white, 2, Qt::DashLine));
    p.drawArc(QRectF(60, 20, 34, 40), 20 * 16, 110 * 16);
    // The name in the Latin face whatever the language, as large as fits beside the picture.
    const QString name = "Telvane";
    const QRectF room(140, 22, std::max(10.0, width / s - 146), 40);
    QFont f = LatinUiFont(1);
    f.setBold(true);
    f.setPixelSize(26);
    while (f.pixelSize() > 8 && QFontMetricsF(f).horizontalAdvance(name) > room.width())
        f.setPixelSize(f.pixelSize() - 1);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(room, Qt::AlignLeft | Qt::AlignVCenter, name);
    return pm;
}

}  // namespace telvane
