#include "shell/startup_rules.h"

#include <algorithm>

#include <QLocale>

#include <cmath>

namespace quillmar {

std::optional<bool> ParseStartUpConnect(const QString& text)
{
    const QString value = text.trimmed();
    if (value.compare(QLatin1StringView("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (value.compare(QLatin1StringView("false"), Qt::CaseInsensitive) == 0)
        return false;

    bool isNumber = false;
    const double number = QLocale::c().toDouble(value, &isNumber);
    if (!isNumber || !std::isfinite(number))
        return std::nullopt;
    return number != 0;
}

QSize FirstWindowSize(const QSize& design, const QSize& screen)
{
    constexpr double kScreenShare = 2.0 / 3.0;
    if (design.isEmpty() || screen.isEmpty())
        return design;
    const double grow = std::min(kScreenShare * screen.width() / design.width(),
                                 kScreenShare * screen.height() / design.height());
    if (grow <= 1.0)
        return design;
    return QSize(qRound(design.width() * grow), qRound(design.height() * grow));
}

}  // namespace quillmar
