#include "shell/feedback.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

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
    const int widths[5] = {260, 90, 170, 140, 10};
    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(bar_);
        label->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(widths[i]);
        bar_->addWidget(label, i == 0 ? 1 : 0);
        panels_[i] = label;
    }
    progress_ = new QProgressBar(bar_);
    progress_->setObjectName(QStringLiteral("PB1"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setFixedWidth(80);
    bar_->addPermanentWidget(progress_);

    auto* lights = new QFrame(bar_);
    lights->setObjectName(QStringLiteral("Frame3"));
    lights->setFixedSize(18, 18);
    red_ = MakeLight(lights, "RedBall", QColor(200, 30, 30));
    green_ = MakeLight(lights, "GreenBall", QColor(30, 170, 40));
    bar_->addPermanentWidget(lights);
    lightsBusy();

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
    holdPaint();
    red_->hide();
    green_->show();
}

void Feedback::lightsBusy()
{
    holdPaint();
    green_->hide();
    red_->show();
}

void Feedback::setProgress(double percent)
{
    const int value = static_cast<int>(qBound(0.0, percent, 100.0));
    if (progress_->value() == value)
        return;
    holdPaint();
    progress_->setValue(value);
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
