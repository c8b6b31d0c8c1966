#include "views/PhasorPage.h"

#include "device/DeviceModel.h"
#include "platform/LanguageSwitch.h"
#include "platform/NumericSpin.h"
#include "texts/UiTexts.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace kvam {

namespace {

constexpr int kImageSize = 550;

QCheckBox* makeCheckBox(QWidget* parent, const char* name, int x, int y, bool checked)
{
    auto* box = new QCheckBox(uiText(name), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(x, y, 97, 17);
    box->setChecked(checked);
    return box;
}

QLabel* makeLabel(QWidget* parent, const char* name, int x, int y)
{
    auto* label = new QLabel(uiText(name), parent);
    label->setObjectName(QString::fromLatin1(name));
    // Right-aligned so that the text ends just before its spin.
    label->setGeometry(x, y, 45, 17);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

NumericSpin* makeZoom(QWidget* parent, const char* name, int x, int y)
{
    auto* spin = new NumericSpin(0.001, 100.0, 0.1, QStringLiteral("#0.000#"), 1.0, parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setGeometry(x, y, 70, 22);
    return spin;
}

/// Shows the page's bitmap as it stands; painting happens only when the page is on screen.
class ImageView : public QWidget
{
public:
    ImageView(const QImage& image, QWidget* parent) : QWidget(parent), m_image(image)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, m_image);
    }

private:
    const QImage& m_image;
};

} // namespace

PhasorPage::PhasorPage(QWidget* parent)
    : QWidget(parent), m_image(kImageSize, kImageSize, QImage::Format_RGB32)
{
    setObjectName(QStringLiteral("TabSheet_Phasor"));

    // Blank until the first measurement arrives.
    m_image.fill(Qt::white);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::Box);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(9, 9, 553, 553);

    m_vectorImage = new ImageView(m_image, this);
    m_vectorImage->setObjectName(QStringLiteral("VectorImage"));
    m_vectorImage->setGeometry(10, 10, kImageSize, kImageSize);

    makeLabel(this, "StaticText1", 593, 31);
    m_uzoom = makeZoom(this, "Uzoom", 642, 28);
    makeLabel(this, "StaticText2", 593, 58);
    m_izoom = makeZoom(this, "Izoom", 642, 56);

    m_dispVoltage = makeCheckBox(this, "DeviceDispVoltage", 586, 92, true);
    m_dispCurrent = makeCheckBox(this, "DeviceDispCurrent", 586, 112, false);
    m_dispProvider = makeCheckBox(this, "DeviceDispProvider", 586, 132, false);

    auto* wiring = new QGroupBox(uiText("WiringBox"), this);
    wiring->setObjectName(QStringLiteral("WiringBox"));
    wiring->setGeometry(578, 164, 180, 250);
    m_hintsLabel = new QLabel(wiring);
    m_hintsLabel->setObjectName(QStringLiteral("WiringHints"));
    m_hintsLabel->setGeometry(8, 22, 164, 220);
    m_hintsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_hintsLabel->setWordWrap(true);
    setProperty(kFollowsLanguageProperty, true);
}

void PhasorPage::showHints(const NetRecord& net, const WiringReference& reference)
{
    m_hints = wiringHints(net, reference);
    m_measured = true;
    showHintsText();
}

QString PhasorPage::hintsText() const
{
    return m_hintsLabel->text();
}

void PhasorPage::showHintsText()
{
    if (!m_measured)
        return;
    QPalette p = m_hintsLabel->palette();
    p.setColor(QPalette::WindowText, m_hints.empty() ? QColor(0, 128, 0) : QColor(200, 0, 0));
    m_hintsLabel->setPalette(p);
    m_hintsLabel->setText(wiringHintsText(m_hints));
}

void PhasorPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        showHintsText();
    QWidget::changeEvent(event);
}

float PhasorPage::zoomU() const
{
    return static_cast<float>(m_uzoom->value());
}

float PhasorPage::zoomI() const
{
    return static_cast<float>(m_izoom->value());
}

PhasorOptions PhasorPage::options() const
{
    return {m_dispVoltage->isChecked(), m_dispCurrent->isChecked(), m_dispProvider->isChecked()};
}

void PhasorPage::showNet(const NetRecord& net, const CaldataRecord& cal)
{
    redraw(makePhasorInput(net, cal, zoomU(), zoomI()));
}

void PhasorPage::redraw(const PhasorInput& input)
{
    m_pending.emplace(input, options());
    if (isVisible())
        drawPending();
}

void PhasorPage::drawPending()
{
    if (!m_pending)
        return;
    m_result = DrawPhasorDiagram(m_image, m_pending->first, m_pending->second, &m_gridCache);
    m_pending.reset();
    m_vectorImage->update();
}

const QImage& PhasorPage::image()
{
    drawPending();
    return m_image;
}

const PhasorResult& PhasorPage::result()
{
    drawPending();
    return m_result;
}

void PhasorPage::showEvent(QShowEvent* event)
{
    drawPending();
    QWidget::showEvent(event);
}

void PhasorPage::attach(DeviceModel& model)
{
    connect(&model, &DeviceModel::netChanged, this, [this, &model](const NetRecord& net) {
        showNet(net, model.caldata());
        const DeviceMemory& m = model.memory();
        showHints(
            net, wiringReference(model.ram2Held() ? &m.ram2 : nullptr, model.ram3Held() ? &m.ram3 : nullptr));
    });
}

} // namespace kvam
