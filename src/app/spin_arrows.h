#pragma once
// A small up/down arrow pair without a value of its own: it only announces
// each step with its signed size. The dialog applies the step to the count
// edit beside it; the edit is the source of truth.

#include <QElapsedTimer>
#include <QWidget>

class QToolButton;

namespace app {

class SpinArrows : public QWidget {
    Q_OBJECT

  public:
    explicit SpinArrows(QWidget* parent = nullptr);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

    // The step size while an arrow is held: 1 at first, 5 after two seconds,
    // 20 after five (the platform's usual acceleration).
    static int stepSizeAfter(qint64 heldMilliseconds);

  signals:
    // +size for the up arrow, -size for the down arrow.
    void stepped(int signedSize);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void arrowPressed();
    void arrowClicked(int direction);

    QToolButton* up_;
    QToolButton* down_;
    QElapsedTimer held_;
};

}  // namespace app
