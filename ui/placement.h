#pragma once

class QWidget;

namespace quaymark::ui {

// Opens the window centred on its screen by its outer frame, title bar included. The frame is
// known only once the window manager has framed and activated the window, so the first
// placement is put right then; a window the user moves later stays where it is.
void CentreOnScreen(QWidget& window);

}  // namespace quaymark::ui
