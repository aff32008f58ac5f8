// Build-time tool: writes Corvane's icon as PNG files for the desktop's icon theme.
//   corvane-render-icons FOLDER SIZE...
// writes FOLDER/<SIZE>x<SIZE>/apps/<desktop id>.png for every SIZE, painted by the same code
// as the window icon, so the repository holds no icon image that its code could not make.
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>

#include "app/artwork.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: corvane-render-icons FOLDER SIZE...\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    bool number = false;
    const int size = QString::fromLocal8Bit(argv[i]).toInt(&number);
    if (!number || size < 16 || size > 1024) {
      std::fprintf(stderr, "corvane-render-icons: not an icon size: %s\n", argv[i]);
      return 2;
    }
    const QString apps = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
    const QString file = apps + QStringLiteral("/" CORVANE_DESKTOP_ID ".png");
    if (!QDir().mkpath(apps) || !corvane::iconImage(size).save(file, "PNG")) {
      std::fprintf(stderr, "corvane-render-icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
