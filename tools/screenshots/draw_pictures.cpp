// Draws the program's pictures (menu and tool bar pictures 0 to 7 at 16, 24
// and 32 pixels, and the splash picture) into a folder, from which they are
// committed into src/shell/pictures. Run again after changing a drawing:
//   draw_pictures src/shell/pictures
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <iterator>

namespace {

const QColor kInk(0x33, 0x3d, 0x4a);
const QColor kPaper(0xfb, 0xfc, 0xfe);
const QColor kBlue(0x2f, 0x6f, 0xc0);
const QColor kGreen(0x2e, 0x9d, 0x4f);
const QColor kRed(0xd0, 0x33, 0x2b);
const QColor kYellow(0xf2, 0xc1, 0x4e);

// Every drawing works on a 32 x 32 canvas; the pen stays about one device
// pixel wide whatever the size.
using Drawing = std::function<void(QPainter&, qreal pen)>;

// The closed outline through `points`, in their order.
QPainterPath Outline(std::initializer_list<QPointF> points) {
  QPainterPath path;
  path.moveTo(*points.begin());
  for (auto it = points.begin() + 1; it != points.end(); ++it) path.lineTo(*it);
  path.closeSubpath();
  return path;
}

void Page(QPainter& p, qreal pen, const QRectF& r) {
  const qreal fold = r.width() * 0.3;
  p.setPen(QPen(kInk, pen));
  p.setBrush(kPaper);
  p.drawPath(Outline({r.topLeft(),
                      {r.right() - fold, r.top()},
                      {r.right(), r.top() + fold},
                      r.bottomRight(),
                      r.bottomLeft()}));
  p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
  p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void Lines(QPainter& p, qreal pen, qreal left, qreal right, qreal top, int count) {
  p.setPen(QPen(QColor(0x9a, 0xa5, 0xb1), pen));
  for (int i = 0; i < count; ++i)
    p.drawLine(QPointF(left, top + i * 4), QPointF(right, top + i * 4));
}

void New(QPainter& p, qreal pen) {
  Page(p, pen, QRectF(5, 2, 19, 26));
  Lines(p, pen, 9, 19, 12, 3);
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawEllipse(QPointF(23, 23), 8, 8);
  p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(23, 18.5), QPointF(23, 27.5));
  p.drawLine(QPointF(18.5, 23), QPointF(27.5, 23));
}

void Open(QPainter& p, qreal pen) {
  p.setPen(QPen(kInk, pen));
  p.setBrush(kYellow.darker(115));
  p.drawPath(Outline({{2, 7}, {11, 7}, {14, 10}, {27, 10}, {27, 27}, {2, 27}}));
  p.setBrush(kYellow);
  p.drawPath(Outline({{2, 27}, {7, 15}, {31, 15}, {27, 27}}));
}

void Save(QPainter& p, qreal pen) {
  p.setPen(QPen(kInk, pen));
  p.setBrush(kBlue);
  p.drawPath(Outline({{3, 3}, {25, 3}, {29, 7}, {29, 29}, {3, 29}}));
  p.setBrush(kPaper);
  p.drawRect(QRectF(8, 3, 15, 9));
  p.setBrush(kInk);
  p.drawRect(QRectF(18, 5, 3, 5));
  p.setBrush(kPaper);
  p.drawRect(QRectF(7, 17, 18, 12));
  Lines(p, pen, 10, 22, 21, 2);
}

void Preview(QPainter& p, qreal pen) {
  Page(p, pen, QRectF(3, 2, 19, 26));
  Lines(p, pen, 7, 17, 9, 3);
  p.setPen(QPen(kInk, 3.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(23, 23), QPointF(29.5, 29.5));
  p.setPen(QPen(kInk, pen * 1.6));
  p.setBrush(QColor(0xcf, 0xe4, 0xfa));
  p.drawEllipse(QPointF(19, 19), 6.5, 6.5);
}

void Print(QPainter& p, qreal pen) {
  p.setPen(QPen(kInk, pen));
  p.setBrush(kPaper);
  p.drawRect(QRectF(9, 3, 14, 10));
  p.setBrush(QColor(0x8d, 0x97, 0xa3));
  p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
  p.setBrush(kGreen);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(25, 16), 1.6, 1.6);
  p.setPen(QPen(kInk, pen));
  p.setBrush(kPaper);
  p.drawRect(QRectF(8, 19, 16, 10));
  Lines(p, pen, 11, 21, 23, 2);
}

void Help(QPainter& p, qreal pen) {
  p.setPen(QPen(kBlue.darker(130), pen));
  p.setBrush(kBlue);
  p.drawEllipse(QPointF(16, 16), 14, 14);
  QFont f(QStringLiteral("Liberation Sans"));
  f.setBold(true);
  f.setPixelSize(22);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(2, 2, 28, 29), Qt::AlignCenter, QStringLiteral("?"));
}

void DeleteRows(QPainter& p, qreal pen) {
  p.setPen(QPen(kInk, pen));
  for (int i = 0; i < 4; ++i) {
    p.setBrush(i == 1 || i == 2 ? QColor(0xcf, 0xe4, 0xfa) : kPaper);
    p.drawRect(QRectF(2, 4 + i * 6, 22, 6));
  }
  p.setPen(QPen(kRed, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(19, 17), QPointF(29, 27));
  p.drawLine(QPointF(29, 17), QPointF(19, 27));
}

// Rows of a table, and a green arrow bringing more to their end.
void AppendRows(QPainter& p, qreal pen) {
  p.setPen(QPen(kInk, pen));
  for (int i = 0; i < 4; ++i) {
    p.setBrush(i == 3 ? QColor(0xc9, 0xea, 0xd2) : kPaper);
    p.drawRect(QRectF(2, 4 + i * 6, 18, 6));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawPath(Outline({{24, 3}, {28, 3}, {28, 17}, {31.5, 17}, {26, 26}, {20.5, 17}, {24, 17}}));
}

bool WritePicture(const Drawing& draw, int size, const QString& path) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const qreal scale = size / 32.0;
  p.scale(scale, scale);
  draw(p, 1.0 / scale);
  p.end();
  return image.save(path, "PNG");
}

bool Splash(const QString& path) {
  QImage image(400, 78, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient sky(0, 0, 400, 78);
  sky.setColorAt(0, QColor(0x1d, 0x4f, 0x91));
  sky.setColorAt(1, QColor(0x3a, 0x86, 0xd0));
  p.fillRect(image.rect(), sky);
  // A concrete sample with water rising through it.
  p.setPen(QPen(QColor(0x1a, 0x2a, 0x3a), 1.2));
  p.setBrush(QColor(0xb8, 0xbd, 0xc3));
  p.drawRect(QRectF(18, 14, 44, 50));
  p.setBrush(QColor(0x7f, 0xc6, 0xf5));
  p.drawRect(QRectF(18, 50, 44, 14));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x7f, 0xc6, 0xf5));
  for (const QPointF& c : {QPointF(30, 40), QPointF(44, 30), QPointF(52, 44), QPointF(36, 24)}) {
    QPainterPath drop;
    drop.moveTo(c + QPointF(0, -5));
    drop.cubicTo(c + QPointF(4, 0), c + QPointF(4, 4), c + QPointF(0, 4));
    drop.cubicTo(c + QPointF(-4, 4), c + QPointF(-4, 0), c + QPointF(0, -5));
    p.drawPath(drop);
  }
  QFont title(QStringLiteral("Liberation Sans"));
  title.setBold(true);
  title.setPixelSize(30);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(80, 6, 310, 38), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("ФИР-ТЛ7"));
  QFont sub(QStringLiteral("Liberation Sans"));
  sub.setPixelSize(13);
  p.setFont(sub);
  p.setPen(QColor(0xe3, 0xee, 0xfa));
  p.drawText(QRectF(80, 44, 310, 26), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("Передача данных с приборов ФИР-ТЛ7 и ЗЕН-ТЛ7"));
  p.end();
  return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_pictures FOLDER\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.exists() && !QDir().mkpath(dir.path())) return 1;
  const Drawing drawings[] = {New, Open, Save, Preview, Print, Help, DeleteRows, AppendRows};
  bool ok = true;
  for (int i = 0; i < int(std::size(drawings)); ++i) {
    for (int size : {16, 24, 32}) {
      ok = WritePicture(drawings[i], size,
                        dir.filePath(QStringLiteral("%1_%2.png").arg(i).arg(size))) &&
           ok;
    }
  }
  ok = Splash(dir.filePath(QStringLiteral("splash.png"))) && ok;
  return ok ? 0 : 1;
}
