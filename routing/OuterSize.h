#pragma once
#include <QMargins>
#include <QSize>
#include <QWidget>
#include <QWindow>

// The routing windows keep their outer size, frame included: the client area is what is left
// once the window manager's frame is known (at showing, and again at the first move).
inline void FitToOuterSize(QWidget& window, QSize outer)
{
    const QMargins m = window.windowHandle() ? window.windowHandle()->frameMargins() : QMargins();
    const QSize client(outer.width() - m.left() - m.right(), outer.height() - m.top() - m.bottom());
    if (client != window.minimumSize() || client != window.maximumSize())
        window.setFixedSize(client);
}
