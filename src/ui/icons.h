// The program's images, drawn as vectors so that they stay sharp at every scale and pixel ratio.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace telvane {

enum class Icon {
    // Command bar, in button order.
    kCompose,
    kCopy,
    kPaste,
    kCut,
    kDelete,
    kSms,
    kPhonebook,
    kSettings,
    kConnect,
    // Message list lines.
    kUnread,
    kRead,
    kOutgoing,  // a message the SIM keeps as one of ours (sent or not)
    // Header marks.
    kSortAscending,
    kSortDescending,
    kCheckColumn,
    // Check-all button: none ticked, all ticked.
    kCheckNone,
    kCheckAll,
    kWindow,
    // A Sent message's delivery: all delivered, some pending, some failed.
    kDelivered,
    kDeliveryPending,
    kDeliveryFailed,
};

QIcon MakeIcon(Icon icon);

// The About page's picture, `width` x `height` logical pixels.
QPixmap AboutPicture(int width, int height, qreal devicePixelRatio);

}  // namespace telvane
