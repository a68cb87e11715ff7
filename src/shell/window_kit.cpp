#include "shell/window_kit.h"

#include <QGuiApplication>
#include <QKeySequence>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

#include <algorithm>

// Resources of a static library are registered by hand.
static void RegisterIcons()
{
    Q_INIT_RESOURCE(icons);
}

namespace quillmar {

namespace {

const char* const kToolNames[] = {"network-connect", "network-disconnect", "user-bookmarks", "document-open-recent",
                                  "document-print",  "edit-delete",        "go-down",        "document-send",
                                  "view-refresh",    "go-up",              "process-stop",   "help-contents",
                                  "folder-remote"};

// Whether the desktop theme has the whole set; asked once. Without a theme
// (or with only the fallback theme) nothing is searched at all.
bool ThemeHasEverySet()
{
    static const bool whole = [] {
        const QString theme = QIcon::themeName();
        if (theme.isEmpty() || theme == QLatin1String("hicolor"))
            return false;
        return std::all_of(std::begin(kToolNames), std::end(kToolNames),
                           [](const char* name) { return QIcon::hasThemeIcon(QLatin1String(name)); });
    }();
    return whole;
}

QIcon Bundled(const QString& name)
{
    static const bool registered = (RegisterIcons(), true);
    Q_UNUSED(registered);
    return QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
}

}  // namespace

QIcon AppIcon()
{
    return Bundled(QStringLiteral("quillmar"));
}

QIcon ToolIcon(const QString& name)
{
    if (ThemeHasEverySet())
        return QIcon::fromTheme(name);
    return Bundled(name);
}

void MakeDefaultButton(QWidget* window, QPushButton* button)
{
    button->setDefault(true);
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, window);
        QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    }
}

void PlaceOverMainWindow(QWidget* window)
{
    QWidget* over = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    QScreen* screen = over ? over->screen() : window->screen();
    if (!screen)
        return;
    // Room for the window frame the desktop adds round it.
    const QRect room = screen->availableGeometry().adjusted(8, 8, -8, -40);
    window->ensurePolished();
    QSize size = window->testAttribute(Qt::WA_Resized) ? window->size() : window->sizeHint();
    size = size.expandedTo(window->minimumSizeHint()).boundedTo(room.size());
    window->resize(size);
    QRect place(QPoint(0, 0), window->size());
    place.moveCenter(over ? over->geometry().center() : room.center());
    place.moveLeft(std::clamp(place.left(), room.left(), std::max(room.left(), room.right() - place.width())));
    place.moveTop(std::clamp(place.top(), room.top(), std::max(room.top(), room.bottom() - place.height())));
    window->move(place.topLeft());
}

void ShowOverMainWindow(QWidget* window)
{
    if (!window->isVisible())
        PlaceOverMainWindow(window);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace quillmar
