#pragma once

#include <QString>

namespace quillmar {

// The program's name, as window and message titles show it.
inline const QString kAppTitle = QStringLiteral("Quillmar");

// Window layout is given in twips; 15 twips make a pixel at 96 dots per inch.
constexpr int kTwipsPerPixel = 15;
constexpr int Px(int twips) { return twips / kTwipsPerPixel; }

}  // namespace quillmar
