#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace quillmar {

// The stored Auto Connect value: "True" or "False" in any letter case, or a
// number (0 is false, any other true). Empty when it is neither, so the
// caller leaves the option off.
std::optional<bool> ParseStartUpConnect(const QString& text);

// The window's size on a first start: the design size grown, in its own
// proportions, to about two thirds of the screen's free area; never smaller
// than the design size.
QSize FirstWindowSize(const QSize& design, const QSize& screen);

}  // namespace quillmar
