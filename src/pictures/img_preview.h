#pragma once

#include <QWidget>

class QLabel;

namespace quillmar {

// The full-screen preview: a borderless window covering the screen, a grey
// frame "picback" as large as the window with the picture "viewimage" in it,
// and the hint "Label1". Any key, or a click on the picture or the grey
// background, closes it; a click on the hint does not. Closing deletes it.
class imgPreview : public QWidget {
    Q_OBJECT
public:
    explicit imgPreview(QWidget* parent = nullptr);

    // Shows the window over the whole screen; picback already covers it when
    // this returns.
    void showCoveringScreen();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* picback_ = nullptr;
    QLabel* viewimage_ = nullptr;
    QLabel* label_ = nullptr;
};

}  // namespace quillmar
