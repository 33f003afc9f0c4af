// Pictures drawn with QPainter, so the program needs no image plug-ins. The
// two page icons are SVG files; where the SVG plug-in is missing they are
// drawn here as well.
#include "res/Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

#include "engine/RowDisplay.h"

// The resources live in a static library, whose initialiser the linker would
// drop unless something refers to it.
static void InitPictureResources() {
    Q_INIT_RESOURCE(tarnwatch);
}

namespace tarnwatch {
namespace {

void DrawComputer(QPainter& p, QRectF r) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    QRectF screen(r.x() + r.width() * 0.1, r.y() + r.height() * 0.1, r.width() * 0.8,
                  r.height() * 0.55);
    p.drawRect(screen);
    p.setBrush(QColor(0x00, 0x80, 0x80));
    p.drawRect(screen.adjusted(2, 2, -2, -2));
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(QRectF(r.x() + r.width() * 0.05, r.y() + r.height() * 0.75, r.width() * 0.9,
                      r.height() * 0.18));
}

void DrawCross(QPainter& p, QRectF r) {
    p.setPen(QPen(Qt::red, 2));
    p.drawLine(r.topLeft() + QPointF(1, 1), r.bottomRight() - QPointF(1, 1));
    p.drawLine(r.topRight() + QPointF(-1, 1), r.bottomLeft() + QPointF(1, -1));
}

void DrawTriangle(QPainter& p, QRectF r) {
    QPainterPath path;
    path.moveTo(r.center().x(), r.top() + 1);
    path.lineTo(r.right() - 1, r.bottom() - 1);
    path.lineTo(r.left() + 1, r.bottom() - 1);
    path.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0xFF, 0xD8, 0x00));
    p.drawPath(path);
    p.setPen(QPen(Qt::black, std::max(1.5, r.width() / 10)));
    p.drawLine(QPointF(r.center().x(), r.top() + r.height() * 0.35),
               QPointF(r.center().x(), r.top() + r.height() * 0.68));
    p.drawPoint(QPointF(r.center().x(), r.top() + r.height() * 0.82));
}

void DrawCircleText(QPainter& p, QRectF r, QColor fill, const QString& text, bool octagon) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill);
    QRectF c = r.adjusted(1, 1, -1, -1);
    if (octagon) {
        QPolygonF poly;
        const double k = 0.29;
        poly << QPointF(c.left() + c.width() * k, c.top())
             << QPointF(c.right() - c.width() * k, c.top())
             << QPointF(c.right(), c.top() + c.height() * k)
             << QPointF(c.right(), c.bottom() - c.height() * k)
             << QPointF(c.right() - c.width() * k, c.bottom())
             << QPointF(c.left() + c.width() * k, c.bottom())
             << QPointF(c.left(), c.bottom() - c.height() * k)
             << QPointF(c.left(), c.top() + c.height() * k);
        p.drawPolygon(poly);
    } else {
        p.drawEllipse(c);
    }
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(std::max(6, static_cast<int>(r.height() * (text.size() > 2 ? 0.28 : 0.6))));
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, text);
}

QPixmap Draw(int size, int image) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(0, 0, size, size);
    switch (image) {
        case kImageNetworkDisabled:
        case kImageNetwork:
            DrawComputer(p, QRectF(0, 0, size * 0.65, size * 0.65));
            DrawComputer(p, QRectF(size * 0.35, size * 0.35, size * 0.65, size * 0.65));
            if (image == kImageNetworkDisabled) DrawCross(p, r);
            break;
        case kImageLocal:
        case kImageLocalDisabled:
            DrawComputer(p, r);
            if (image == kImageLocalDisabled) DrawCross(p, r);
            break;
        case kImageWarning:
            DrawTriangle(p, r);
            break;
        case kImageInformation:
            DrawCircleText(p, r, QColor(0x1E, 0x5A, 0xD2), "i", false);
            break;
        default:
            DrawCircleText(p, r, QColor(0xD0, 0x10, 0x10), "", false);
            break;
    }
    return pm;
}

void DrawFolder(QPainter& p, QRectF r) {
    const double u = r.width() / 16;
    p.setPen(QPen(QColor(0x7A, 0x5B, 0x00), u));
    p.setBrush(QColor(0xF2, 0xC9, 0x4C));
    p.drawRect(QRectF(1.5 * u, 3.5 * u, 11 * u, 9 * u));
    p.setBrush(QColor(0xF7, 0xDC, 0x7B));
    p.drawPolygon(QPolygonF{QPointF(1.5 * u, 12.5 * u), QPointF(4 * u, 7 * u),
                            QPointF(14.5 * u, 7 * u), QPointF(12 * u, 12.5 * u)});
}

void DrawPlay(QPainter& p, QRectF r) {
    const double u = r.width() / 16;
    p.setPen(QPen(QColor(0x2B, 0x35, 0x40), u));
    p.setBrush(QColor(0x5A, 0x6B, 0x7D));
    p.drawPolygon(QPolygonF{QPointF(1.5 * u, 6 * u), QPointF(4 * u, 6 * u), QPointF(7.5 * u, 3 * u),
                            QPointF(7.5 * u, 13 * u), QPointF(4 * u, 10 * u),
                            QPointF(1.5 * u, 10 * u)});
    p.setPen(QPen(QColor(0x1B, 0x5E, 0x29), u));
    p.setBrush(QColor(0x2E, 0x9E, 0x44));
    p.drawPolygon(
        QPolygonF{QPointF(9.5 * u, 4.5 * u), QPointF(14.5 * u, 8 * u), QPointF(9.5 * u, 11.5 * u)});
}

// The SVG file when it can be drawn, else the same picture painted.
QIcon PageIcon(const char* file, void (*draw)(QPainter&, QRectF)) {
    InitPictureResources();
    QIcon icon(QString::fromLatin1(file));
    if (!icon.pixmap(16, 16).isNull()) return icon;
    QIcon painted;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p, QRectF(0, 0, size, size));
        p.end();
        painted.addPixmap(pm);
    }
    return painted;
}

}  // namespace

QPixmap RowImagePixmap(int image) {
    static std::array<QPixmap, 7> cache;
    if (image < 0 || image > 6) image = kImageWarning;
    if (cache[image].isNull()) cache[image] = Draw(16, image);
    return cache[image];
}

QPixmap OverallStatusPixmap(int level) {
    static std::array<QPixmap, 4> cache;
    if (level < kLevelOk || level > kLevelError) level = kLevelWarning;
    QPixmap& pm = cache[level - kLevelOk];
    if (pm.isNull()) {
        pm = QPixmap(48, 48);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        QRectF r(0, 0, 48, 48);
        switch (level) {
            case kLevelOk:
                DrawCircleText(p, r, QColor(0x10, 0xA0, 0x30), "OK", false);
                break;
            case kLevelWarning:
                DrawTriangle(p, r);
                break;
            case kLevelInformation:
                DrawCircleText(p, r, QColor(0x1E, 0x5A, 0xD2), "i", false);
                break;
            default:
                DrawCircleText(p, r, QColor(0xD0, 0x10, 0x10), "Error", true);
                break;
        }
    }
    return pm;
}

QIcon ProgramIcon() {
    static QIcon icon;
    if (icon.isNull()) {
        for (int size : {16, 32, 48}) icon.addPixmap(Draw(size, kImageNetwork));
    }
    return icon;
}

QPixmap LogoPixmap() {
    static QPixmap pm;
    if (!pm.isNull()) return pm;
    pm = QPixmap(76, 81);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Mountains, then the tarn at their foot.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6B, 0x7B, 0x8C));
    p.drawPolygon(QPolygonF(
        {QPointF(2, 56), QPointF(26, 18), QPointF(40, 38), QPointF(52, 24), QPointF(74, 56)}));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(20, 28), QPointF(26, 18), QPointF(32, 27)}));
    p.setBrush(QColor(0x1E, 0x6F, 0xC8));
    p.drawEllipse(QRectF(6, 50, 64, 22));
    // The eye that watches over it.
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.5));
    p.drawEllipse(QRectF(24, 55, 28, 12));
    p.setBrush(QColor(0x10, 0xA0, 0x30));
    p.drawEllipse(QRectF(33, 56.5, 10, 9));
    p.setFont([] {
        QFont f;
        f.setPixelSize(9);
        f.setBold(true);
        return f;
    }());
    p.setPen(QColor(0x20, 0x20, 0x20));
    p.drawText(QRectF(0, 2, 76, 12), Qt::AlignCenter, QStringLiteral("Tarnwatch"));
    return pm;
}

QPixmap StopwatchPixmap() {
    static QPixmap pm;
    if (!pm.isNull()) return pm;
    pm = QPixmap(21, 23);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.5));
    p.setBrush(QColor(0xC0, 0xC0, 0xC8));
    p.drawRect(QRectF(8.5, 0.5, 4, 3));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(1, 3, 19, 19));
    p.drawLine(QPointF(10.5, 12.5), QPointF(10.5, 6));
    p.drawLine(QPointF(10.5, 12.5), QPointF(14.5, 14.5));
    return pm;
}

QIcon BrowseIcon() {
    static const QIcon icon = PageIcon(":/browse.svg", DrawFolder);
    return icon;
}

QIcon PlayIcon() {
    static const QIcon icon = PageIcon(":/play.svg", DrawPlay);
    return icon;
}

}  // namespace tarnwatch
