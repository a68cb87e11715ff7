#include "info/about.h"

#include "info/contact_label.h"
#include "shell/constants.h"
#include "shell/version.h"
#include "shell/window_kit.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace quillmar {

namespace {

QLabel* NamedLabel(const char* name, const QString& text)
{
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    return label;
}

}  // namespace

QString VersionText(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

frmAbout::frmAbout(const Services& services, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + kAppTitle);
    QIcon icon = parent ? parent->windowIcon() : QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_DriveNetIcon);
    setWindowIcon(icon);

    QLabel* picIcon = NamedLabel("picIcon", QString());
    picIcon->setPixmap(icon.pixmap(32, 32));
    QLabel* title = NamedLabel("lblTitle", kAppTitle);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    title->setFont(big);
    QLabel* version = NamedLabel("lblVersion", VersionText(kVersionMajor, kVersionMinor, kVersionPatch));
    QLabel* description = NamedLabel(
        "lblDescription",
        QStringLiteral("Quillmar remains the simplest method possible to upload pictures for your online "
                       "auctions or just to update your website.  I have put a lot of time and effort into this "
                       "product and I hope you enjoy using it."));
    description->setWordWrap(true);
    auto* contact = new ContactLabel(services);
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("cmdOK"));
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    auto* heading = new QVBoxLayout;
    heading->addWidget(title);
    heading->addWidget(version);
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addLayout(heading, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(contact, 1);
    bottom->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(description);
    layout->addLayout(bottom);
    MakeDefaultButton(this, ok);
    // Wide enough for the contact line and the OK button side by side.
    setMinimumWidth(std::max(420, contact->sizeHint().width() + ok->sizeHint().width() + 40));
    resize(minimumWidth(), heightForWidth(minimumWidth()));
}

void frmAbout::Open()
{
    ShowOverMainWindow(this);
}

}  // namespace quillmar
