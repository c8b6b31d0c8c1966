#include "views/Drawing.h"

#include "platform/NumberFormat.h"
#include "texts/UiTexts.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QPolygonF>

#include <cmath>
#include <numbers>

namespace kvam {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
// Font sizes are meant for a 96-dpi screen, whatever resolution the image claims.
constexpr double kScreenDpi = 96.0;

const QColor kPhaseColours[3] = {QColor(165, 42, 42), QColor(0, 0, 0), QColor(160, 160, 160)};
const QColor kSilver(192, 192, 192);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);

bool finite(double v)
{
    return std::isfinite(v);
}
bool finite(QPointF p)
{
    return finite(p.x()) && finite(p.y());
}

// Flat caps and mitred joins: line ends stop exactly at their end points.
QPen makePen(const QColor& colour, double width, Qt::PenStyle style = Qt::SolidLine)
{
    return QPen(colour, width, style, Qt::FlatCap, Qt::MiterJoin);
}

// The named family when the system has it, otherwise one of the same kind (fixed pitch or serif).
QFont makeFont(const char* family, QFont::StyleHint hint, double points, const QImage& image)
{
    QFont font(QString::fromLatin1(family));
    font.setStyleHint(hint);
    const int dpi = image.logicalDpiY();
    font.setPointSizeF(points * kScreenDpi / (dpi > 0 ? dpi : kScreenDpi));
    return font;
}

// Text with its top-left corner at `topLeft`.
void drawTextAt(QPainter& p, QPointF topLeft, const QString& text)
{
    const QFontMetricsF fm(p.font(), p.device());
    p.drawText(QPointF(topLeft.x(), topLeft.y() + fm.ascent()), text);
}

void drawLine(QPainter& p, QPointF a, QPointF b)
{
    if (finite(a) && finite(b))
        p.drawLine(a, b);
}

void drawCircle(QPainter& p, QPointF centre, double radius)
{
    if (finite(centre) && finite(radius))
        p.drawEllipse(centre, radius, radius);
}

QPointF toPoint(Vec2 v)
{
    return {v.x, v.y};
}

// Barb ends of the head of an arrow whose tip is at `tip` in image coordinates.
QPolygonF headTriangle(QPointF tip, float angle)
{
    const ArrowBarbs b = arrowBarbs({float(tip.x()), float(tip.y())}, angle);
    return QPolygonF({tip, toPoint(b.b1), toPoint(b.b2)});
}

void drawVoltageLabel(QPainter& p, std::size_t phase, QPointF tip, Vec2 offset, float value)
{
    const QString text = formatNumber("%.1fV", double(value));
    const QFontMetricsF fm(p.font(), p.device());
    const double w = fm.horizontalAdvance(text);
    const double h = fm.height();
    QPointF at;
    if (phase == 0)
        at = {tip.x() - w / 2, tip.y() - h};
    else if (offset.x >= 0)
        at = {tip.x(), offset.y <= 0 ? tip.y() - h : tip.y()};
    else
        at = {tip.x() - w, offset.y <= 0 ? tip.y() - h : tip.y()};
    drawTextAt(p, at, text);
}

// Grid circles at 125, 100, 75, 50 and 25 % of the zoomed reference radius, then six diameters.
void drawGrid(QPainter& p, QPointF centre, double gridR, double unomLength)
{
    p.setPen(makePen(kSilver, 2));
    p.setBrush(Qt::NoBrush);
    for (double factor : {1.25, 1.0, 0.75, 0.5, 0.25})
        drawCircle(p, centre, factor * gridR);

    // The vertical diameter is sized from the reference voltage, not from R: it is meant to
    // reach past the outer circle.
    const double cx = centre.x(), cy = centre.y();
    for (double phi : {0.0, 30.0, 60.0, 90.0, 120.0, 150.0}) {
        const double h = (phi == 0.0 ? 1.25 * unomLength : 1.25 * gridR);
        const double s = std::sin(phi * kDeg), c = std::cos(phi * kDeg);
        drawLine(p, QPointF(cx - h * s, cy + h * c), QPointF(cx + h * s, cy - h * c));
    }
}

void paint(QPainter& p, const QImage& image, const PhasorInput& in, const PhasorOptions& options,
           const PhasorResult& res, PhasorGridCache* gridCache)
{
    const double W = image.width();
    const double H = image.height();
    const double cx = W / 2.0;
    const double cy = H / 2.0;
    const QPointF centre(cx, cy);
    const CircleResult& circle = res.circle;
    const QPointF oPrime(cx + circle.Ox, cy + circle.Oy);
    const double gridR = double(res.radii.R) * in.ZoomU;
    const double unomLength = double(in.Unom) * in.ZoomU;

    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    p.fillRect(QRectF(0, 0, W, H), kWhite);

    // Marker at O': with no circle it marks the diagram centre.
    p.setBrush(Qt::NoBrush);
    p.setPen(makePen(kBlack, 1));
    p.drawEllipse(QRectF(oPrime.x() - 3.5, oPrime.y() - 3.5, 7, 7));

    if (circle.CircleValid && options.provider) {
        p.setPen(makePen(kSilver, 2, Qt::DashDotLine));
        drawCircle(p, oPrime, unomLength);
        p.setPen(makePen(kSilver, 2));
        for (double phi : {0.0, 120.0, 240.0}) {
            const double a = phi * kDeg;
            drawLine(p, oPrime,
                     QPointF(oPrime.x() + unomLength * std::sin(a), oPrime.y() - unomLength * std::cos(a)));
        }
    }

    if (gridCache) {
        if (gridCache->layer.size() != image.size() || gridCache->gridRadius != gridR ||
            gridCache->referenceLength != unomLength) {
            gridCache->layer = QImage(image.size(), QImage::Format_ARGB32_Premultiplied);
            gridCache->layer.fill(Qt::transparent);
            QPainter lp(&gridCache->layer);
            lp.setRenderHints(QPainter::Antialiasing);
            drawGrid(lp, centre, gridR, unomLength);
            gridCache->gridRadius = gridR;
            gridCache->referenceLength = unomLength;
        }
        p.drawImage(0, 0, gridCache->layer);
    } else {
        drawGrid(p, centre, gridR, unomLength);
    }

    const float voltages[3] = {in.U1, in.U2, in.U3};
    if (options.voltage) {
        if (circle.CircleValid) {
            p.setPen(makePen(kPhaseColours[0], 2, Qt::DashDotLine));
            drawCircle(p, oPrime, circle.r);
        }
        for (std::size_t i = 0; i < 3; ++i) {
            const PhasorArrow& a = res.arrows[ArrowU1 + i];
            const QPointF tip(cx + a.tip.x, cy + a.tip.y);
            if (!finite(tip))
                continue;
            p.setPen(makePen(kPhaseColours[i], 3));
            p.drawLine(centre, tip);
            if (hasArrowHead(a.tip)) {
                const QPolygonF head = headTriangle(tip, a.angle);
                p.setPen(makePen(kPhaseColours[i], 2));
                drawLine(p, head[0], head[1]);
                drawLine(p, head[0], head[2]);
            }
        }
        p.setFont(makeFont("Courier", QFont::TypeWriter, 10, image));
        for (std::size_t i = 0; i < 3; ++i) {
            const PhasorArrow& a = res.arrows[ArrowU1 + i];
            const QPointF tip(cx + a.tip.x, cy + a.tip.y);
            if (!finite(tip))
                continue;
            p.setPen(makePen(kPhaseColours[i], 1));
            drawVoltageLabel(p, i, tip, a.tip, voltages[i]);
        }
    }

    if (options.current) {
        for (std::size_t i = 0; i < 3; ++i) {
            const PhasorArrow& a = res.arrows[ArrowI1 + i];
            const QPointF tip(cx + a.tip.x, cy + a.tip.y);
            if (!finite(tip))
                continue;
            p.setPen(makePen(kPhaseColours[i], 2));
            p.drawLine(centre, tip);
            if (hasArrowHead(a.tip)) {
                const QPolygonF head = headTriangle(tip, a.angle);
                if (finite(head[1]) && finite(head[2])) {
                    p.setBrush(kWhite);
                    p.drawPolygon(head);
                    p.setBrush(Qt::NoBrush);
                }
            }
        }
    }

    p.setPen(makePen(kBlue, 2));
    drawLine(p, centre, oPrime);

    p.setFont(makeFont("Times New Roman", QFont::Serif, 9, image));
    p.setPen(kSilver);
    drawTextAt(p, QPointF(cx + 4, 4), QStringLiteral("Re"));
    drawTextAt(p, QPointF(4, cy - 13), QStringLiteral("Im"));
    p.setPen(kRed);
    drawTextAt(p, QPointF(10, 10),
               QStringLiteral("PHASE ORDER: ") +
                   currentText(res.positiveOrder ? "Phasor.PositiveOrder" : "Phasor.NegativeOrder"));
    p.setPen(kBlue);
    drawTextAt(p, QPointF(10, 30), formatNumber("Uoo' = %.1fV", double(circle.Uoo)));
    drawTextAt(p, QPointF(10, 50),
               currentText("Phasor.Unbalance").arg(formatNumber("%.2f", double(res.Aszimmetria))));
    drawTextAt(p, QPointF(10, 70),
               currentText("Phasor.Unbalance2").arg(formatNumber("%.2f", double(res.Aszimmetria2))));
}

} // namespace

PhasorResult DrawPhasorDiagram(QImage& image, const PhasorInput& input, const PhasorOptions& options,
                               PhasorGridCache* gridCache)
{
    const PhasorResult result = computePhasor(input, image.width());
    if (image.isNull())
        return result;
    QPainter painter(&image);
    paint(painter, image, input, options, result, gridCache);
    return result;
}

} // namespace kvam
