#pragma once

#include <QColor>
#include <QWidget>

namespace kvam {

/// A coloured indicator light. The shape follows the meter's front panel conventions: rounded
/// rectangles for the link lamps, squares for outputs, circles for inputs, arrows for error flags.
class Lamp : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
public:
    enum class Shape
    {
        RoundRect,
        Square,
        Circle,
        Arrow
    };

    explicit Lamp(Shape shape, QColor color, QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor& c);
    Shape shape() const { return m_shape; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Shape m_shape;
    QColor m_color;
};

} // namespace kvam
