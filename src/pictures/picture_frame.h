#pragma once

#include <QMargins>

class QFrame;
class QLabel;
class QWidget;

namespace quillmar {

// What makes a window a picture host: the grey frame "picback" with the
// hidden image "viewimage" inside it, and the hidden note "picnote" that
// says why no picture is shown. The caller places and sizes the frame.
struct PictureFrame {
    QFrame* picback = nullptr;
    QLabel* viewimage = nullptr;
    QLabel* picnote = nullptr;
};
PictureFrame AddPictureFrame(QWidget* parent);

// Keeps child filling host, less the margins, whenever host is resized.
void KeepFilling(QWidget* host, QWidget* child, const QMargins& margins);

}  // namespace quillmar
