#pragma once

class QFrame;
class QLabel;
class QWidget;

namespace quillmar {

// What makes a window a picture host: the grey frame "picback" with the
// hidden image "viewimage" inside it. The caller places and sizes the frame.
struct PictureFrame {
    QFrame* picback = nullptr;
    QLabel* viewimage = nullptr;
};
PictureFrame AddPictureFrame(QWidget* parent);

}  // namespace quillmar
