#include "shell/feedback.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace quillmar {

namespace {

// About ten paints a second is smooth for a status line.
constexpr qint64 kPaintIntervalMs = 100;

QPixmap Ball(const QColor& colour)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shade(5, 5, 8);
    shade.setColorAt(0, colour.lighter(170));
    shade.setColorAt(1, colour);
    painter.setBrush(shade);
    painter.setPen(colour.darker(150));
    painter.drawEllipse(1, 1, 12, 12);
    return pixmap;
}

// The longest text each panel usually shows: the panel asks for its width.
// Panel 1 also takes whatever the others leave.
const char* const kPanelSamples[5] = {"Status: Refresh Complete.", "Disconnected", "Total: 99 files 99.99 MB",
                                      "IMG_0042.jpg 2.35 MB", "Not encrypted"};
constexpr int kTotalsPanel = 2;  // Panel3, by index
constexpr int kFilePanel = 3;    // Panel4
constexpr int kPanelTextMargin = 3;  // each side of a panel's text
// The bar's percent and room to see it fill.
constexpr int kMinimumBarWidth = 72;

// A status panel that keeps to its own width: a long text is drawn cut
// with "…" and shown whole in the tool tip, never over the next panel.
class PanelLabel : public QLabel {
public:
    PanelLabel(const QString& sample, QWidget* parent) : QLabel(parent)
    {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        preferred_ = fontMetrics().horizontalAdvance(sample) + 2 * (kPanelTextMargin + frameWidth()) + 1;
    }
    QSize sizeHint() const override { return {preferred_, QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return {std::min(preferred_, 60), QLabel::sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        const QRect area = contentsRect().adjusted(kPanelTextMargin, 0, -kPanelTextMargin, 0);
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::ToolTip
            && fontMetrics().horizontalAdvance(text()) > contentsRect().width() - 2 * kPanelTextMargin)
            setToolTip(text());
        else if (e->type() == QEvent::ToolTip)
            setToolTip(QString());
        return QLabel::event(e);
    }

private:
    int preferred_ = 0;
};

// Holds the status line's panel, which takes the room the others leave. The
// panel fills it without a layout, so a new text repaints the panel alone:
// in the bar's layout every text change laid out the whole window again,
// once a file in a many-file transfer.
class PanelSlot : public QWidget {
public:
    PanelSlot(PanelLabel* label, QWidget* parent) : QWidget(parent), label_(label)
    {
        label->setParent(this);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override { return label_->sizeHint(); }
    QSize minimumSizeHint() const override { return label_->minimumSizeHint(); }

protected:
    void resizeEvent(QResizeEvent*) override { label_->setGeometry(rect()); }

private:
    PanelLabel* label_;
};

QLabel* MakeLight(QWidget* parent, const char* name, const QColor& colour)
{
    auto* light = new QLabel(parent);
    light->setObjectName(QLatin1String(name));
    light->setPixmap(Ball(colour));
    light->setGeometry(0, 2, 14, 14);
    return light;
}

}  // namespace

Feedback::Feedback(QMainWindow& window)
{
    bar_ = window.statusBar();
    bar_->setObjectName(QStringLiteral("StatusBar1"));
    bar_->setSizeGripEnabled(false);
    // Panel 1 takes what the others leave; each panel draws inside its own
    // width whatever its text.
    for (int i = 0; i < 5; ++i) {
        auto* label = new PanelLabel(QLatin1String(kPanelSamples[i]), bar_);
        label->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        if (i == 0)
            bar_->addWidget(new PanelSlot(label, bar_), 1);
        else
            bar_->addWidget(label);
        panels_[i] = label;
    }
    progress_ = new QProgressBar(bar_);
    progress_->setObjectName(QStringLiteral("PB1"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(true);
    progress_->setFormat(QString());
    progress_->setAlignment(Qt::AlignCenter);
    // The percent; the words of the transfer are on the status line.
    progress_->setFixedWidth(kMinimumBarWidth);
    bar_->addPermanentWidget(progress_);

    auto* lights = new QFrame(bar_);
    lights->setObjectName(QStringLiteral("Frame3"));
    lights->setFixedSize(18, 18);
    red_ = MakeLight(lights, "RedBall", QColor(200, 30, 30));
    green_ = MakeLight(lights, "GreenBall", QColor(30, 170, 40));
    grey_ = MakeLight(lights, "GreyBall", QColor(150, 150, 150));
    bar_->addPermanentWidget(lights);
    showLight();

    status(QStringLiteral("Status: Disconnected."));
}

void Feedback::status(const QString& text)
{
    panel(1, text);
}

void Feedback::panel(int number, const QString& text)
{
    if (number < 1 || number > 5 || panels_[number - 1]->text() == text)
        return;
    holdPaint();
    panels_[number - 1]->setText(text);
}

void Feedback::holdPaint()
{
    if (!bar_->updatesEnabled())
        return;  // a paint is already on its way
    if (!lastPaint_.isValid() || lastPaint_.elapsed() >= kPaintIntervalMs) {
        lastPaint_.start();
        return;
    }
    bar_->setUpdatesEnabled(false);
    QTimer::singleShot(kPaintIntervalMs - lastPaint_.elapsed(), bar_, [this] {
        lastPaint_.start();
        bar_->setUpdatesEnabled(true);  // paints what changed meanwhile
    });
}

QString Feedback::panelText(int number) const
{
    if (number < 1 || number > 5)
        return {};
    return panels_[number - 1]->text();
}

void Feedback::lightsConnected()
{
    busyMark_ = false;
    showLight();
}

void Feedback::lightsBusy()
{
    busyMark_ = true;
    showLight();
}

void Feedback::setConnected(bool connected)
{
    connected_ = connected;
    showLight();
}

void Feedback::commandStarted()
{
    ++commands_;
    showLight();
}

void Feedback::commandEnded()
{
    commands_ = std::max(commands_ - 1, 0);
    if (commands_ == 0) {
        busyMark_ = false;
        widenStatusLine(false);
    }
    showLight();
    if (commands_ == 0 && commandsOver)
        commandsOver();
}

void Feedback::showLight()
{
    QWidget* shown = busyMark_ || commands_ > 0 ? red_ : connected_ ? green_ : grey_;
    const std::array<QWidget*, 3> lights{red_, green_, grey_};
    if (std::all_of(lights.begin(), lights.end(), [shown](QWidget* light) { return light->isHidden() == (light != shown); }))
        return;
    holdPaint();
    for (QWidget* light : lights)
        light->setVisible(light == shown);
}

void Feedback::setProgress(double percent)
{
    const int value = static_cast<int>(qBound(0.0, percent, 100.0));
    if (progress_->value() != value) {
        holdPaint();
        progress_->setValue(value);
    }
    if (value != 0)
        return;
    meter_.reset();
    widenStatusLine(false);
    if (!progress_->format().isEmpty()) {
        holdPaint();
        progress_->setFormat(QString());
    }
}

void Feedback::startTransfer()
{
    if (!clock_.isValid())
        clock_.start();
    meter_.start(clock_.elapsed());
}

void Feedback::showTransfer(qint64 bytes, qint64 total)
{
    if (total <= 0)
        return;
    if (!clock_.isValid())
        clock_.start();
    const qint64 shown = std::min(bytes, total);
    holdPaint();
    progress_->setValue(static_cast<int>(static_cast<double>(shown) / static_cast<double>(total) * 100.0));
    // The bar reads its format for %-codes; a literal text needs none.
    progress_->setFormat(QString::number(progress_->value()) + QStringLiteral(" %"));
    const QString words = meter_.report(shown, total, clock_.elapsed());
    if (bytes < total) {
        widenStatusLine(true);
        status(QStringLiteral("Status: ") + words);
    }
}

void Feedback::widenStatusLine(bool wide)
{
    // A transfer's words need more room than the status line has at the
    // design size; the totals and the chosen file wait until it is over.
    if (panels_[kTotalsPanel]->isHidden() == wide)
        return;
    holdPaint();
    for (const int i : {kTotalsPanel, kFilePanel})
        panels_[i]->setVisible(!wide);
}

void Feedback::repaintNow()
{
    lastPaint_.start();
    bar_->setUpdatesEnabled(true);
    bar_->repaint();
}

BusyPointer::BusyPointer()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyPointer::~BusyPointer()
{
    restore();
}

void BusyPointer::restore()
{
    if (!active_)
        return;
    active_ = false;
    QApplication::restoreOverrideCursor();
}

}  // namespace quillmar
