#include "app/spin_arrows.h"

#include <QResizeEvent>
#include <QToolButton>

namespace app {

namespace {

QToolButton* makeArrow(QWidget* parent, Qt::ArrowType arrow, const QString& name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(400);
    button->setAutoRepeatInterval(80);
    // Like the platform's up/down control: no tab stop, never takes the focus.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(false);
    return button;
}

}  // namespace

SpinArrows::SpinArrows(QWidget* parent)
    : QWidget(parent),
      up_(makeArrow(this, Qt::UpArrow, QStringLiteral("up"))),
      down_(makeArrow(this, Qt::DownArrow, QStringLiteral("down"))) {
    setFocusPolicy(Qt::NoFocus);
    up_->setAccessibleName(tr("Up"));
    down_->setAccessibleName(tr("Down"));
    connect(up_, &QToolButton::pressed, this, &SpinArrows::arrowPressed);
    connect(down_, &QToolButton::pressed, this, &SpinArrows::arrowPressed);
    connect(up_, &QToolButton::clicked, this, [this] { arrowClicked(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { arrowClicked(-1); });
}

int SpinArrows::stepSizeAfter(qint64 heldMilliseconds) {
    if (heldMilliseconds >= 5000) return 20;
    if (heldMilliseconds >= 2000) return 5;
    return 1;
}

// While an arrow is held, auto-repeat emits released, clicked and pressed
// again at each step with the button still down; the hold is timed from the
// first press until the button really comes up.
void SpinArrows::arrowPressed() {
    if (!held_.isValid()) held_.start();
}

void SpinArrows::arrowClicked(int direction) {
    const qint64 held = held_.isValid() ? held_.elapsed() : 0;
    const QToolButton* button = direction > 0 ? up_ : down_;
    if (!button->isDown()) held_.invalidate();
    emit stepped(direction * stepSizeAfter(held));
}

void SpinArrows::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int upper = h / 2;
    up_->setGeometry(0, 0, w, upper);
    down_->setGeometry(0, upper, w, h - upper);
}

}  // namespace app
