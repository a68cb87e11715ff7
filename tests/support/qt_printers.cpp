#include "support/qt_printers.h"

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    if (bytes.size() > 200)
        *out << "<" << bytes.size() << " bytes>";
    else
        *out << '"' << bytes.toStdString() << '"';
}

std::ostream& operator<<(std::ostream& out, const QString& text)
{
    return out << text.toStdString();
}
