#include "shell/startup_rules.h"

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

}  // namespace quillmar
