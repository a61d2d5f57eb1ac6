// Draws the program's icon for the desktop menu, at the sizes of the icon
// theme, into a folder from which they are committed into packaging/icons.
// The picture is the splash window's: a concrete sample with water rising
// through it, on the splash's blue. Run again after changing the drawing:
//   draw_icon packaging/icons
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

void Drop(QPainter& p, QPointF c, qreal r) {
  QPainterPath drop;
  drop.moveTo(c + QPointF(0, -1.25 * r));
  drop.cubicTo(c + QPointF(r, 0), c + QPointF(r, r), c + QPointF(0, r));
  drop.cubicTo(c + QPointF(-r, r), c + QPointF(-r, 0), c + QPointF(0, -1.25 * r));
  p.drawPath(drop);
}

// On a 32 x 32 canvas; `pen` is about one device pixel.
QImage Icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  const qreal pen = 32.0 / size;

  QLinearGradient sky(0, 0, 32, 32);
  sky.setColorAt(0, QColor(0x1d, 0x4f, 0x91));
  sky.setColorAt(1, QColor(0x3a, 0x86, 0xd0));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 5, 5);

  const QRectF sample(7, 5, 18, 22);
  p.setPen(QPen(QColor(0x1a, 0x2a, 0x3a), qMax(pen, 0.9)));
  p.setBrush(QColor(0xb8, 0xbd, 0xc3));
  p.drawRect(sample);
  p.setBrush(QColor(0x7f, 0xc6, 0xf5));
  p.drawRect(QRectF(sample.left(), 21, sample.width(), sample.bottom() - 21));
  p.setPen(Qt::NoPen);
  // Fewer, larger drops where the pixels are few.
  if (size < 32) {
    Drop(p, QPointF(13, 15), 2.6);
    Drop(p, QPointF(19.5, 10), 2.6);
  } else {
    Drop(p, QPointF(12, 16), 2.2);
    Drop(p, QPointF(18.5, 11), 2.2);
    Drop(p, QPointF(20, 17.5), 1.8);
    Drop(p, QPointF(13.5, 9), 1.6);
  }
  p.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_icon FOLDER\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  bool ok = QDir().mkpath(dir.path());
  for (int size : kSizes)
    ok = Icon(size).save(dir.filePath(QStringLiteral("klt3_%1.png").arg(size)), "PNG") && ok;
  return ok ? 0 : 1;
}
