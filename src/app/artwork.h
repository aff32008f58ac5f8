#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace corvane {

// Corvane's pictures, painted at run time so no binary image sits in the repository.

// The window icon, in 32 x 32 and 16 x 16 pixels, drawn with 16 colours.
QIcon corvaneIcon();

// The icon as a size x size picture in the same 16 colours; the desktop's icons of every size
// are rendered from it at build time.
QImage iconImage(int size);

// The splash window's picture, 320 x 240 pixels.
QPixmap splashPicture();

// The about window's two logos: 247 x 122 and 331 x 122 pixels.
QPixmap aboutLogo();
QPixmap aboutWideLogo();

// The default font of Corvane's windows: small enough for the fixed 17-pixel rows of the
// main window.
QFont windowFont();

}  // namespace corvane
