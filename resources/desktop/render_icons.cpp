// Build step: renders the application's SVG icon to the PNG sizes of the freedesktop icon theme,
// so desktops that prefer bitmaps at small sizes get a sharp one.
//   render_icons ICON.svg OUT-FOLDER SIZE... -> OUT-FOLDER/<size>x<size>/apps/<icon name>.png
// Exits 1 when the icon cannot be read or a file cannot be written.
#include <cstdio>
#include <cstdlib>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: render_icons ICON.svg OUT-FOLDER SIZE...\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QString source = QString::fromLocal8Bit(argv[1]);
  QSvgRenderer renderer(source);
  if (!renderer.isValid()) {
    std::fprintf(stderr, "render_icons: cannot read %s\n", argv[1]);
    return 1;
  }
  const QString name = QFileInfo(source).completeBaseName() + QStringLiteral(".png");
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size <= 0) {
      std::fprintf(stderr, "render_icons: bad size %s\n", argv[i]);
      return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
    if (!QDir().mkpath(folder) || !image.save(folder + QLatin1Char('/') + name, "PNG")) {
      std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(folder + QLatin1Char('/') + name));
      return 1;
    }
  }
  return 0;
}
