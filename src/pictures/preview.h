#pragma once

#include "pictures/img_preview.h"
#include "session/server_place.h"
#include "shell/main_context.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QWidget;

namespace quillmar {

// Fits a picture into a picture host: any widget owning a frame "picback"
// with an image "viewimage" (a QLabel) inside it. The picture is decoded at
// the size it is shown, so large photographs stay quick. A picture that
// cannot be read, or has no size, leaves an empty grey frame; nothing is
// ever passed back to the caller.
void ShowImage(const QString& path, QWidget& host);

// Centres the image in its frame as it is now sized.
void CenterImage(QWidget& host);

// Takes the picture away; the image keeps its size, place and visibility.
void ClearImage(QWidget& host);

// Says in the frame why no picture is shown; the image is hidden.
void ShowNote(QWidget& host, const QString& text);

// The cached copy of a server row of a place; a row that is no picture
// clears the image, a picture not in the cache says so in the frame.
// Returns whether the cache holds the picture.
bool ShowServerPicture(QWidget& host, const QString& appFolder, const ServerPlace& place, const QString& rowText);

// The preview flows of the main window: a click on a local file or a server
// row, and the double click that opens the full-screen preview.
class PreviewController : public QObject {
    Q_OBJECT
public:
    PreviewController(MainContext& context, QObject* parent = nullptr);
    ~PreviewController() override;

    void File1_Click();
    void ListView1_Click();
    void viewimage_DblClick();

    // The server's list is gone (disconnected, or another site): a picture
    // or note that came from it leaves the frame; a local picture stays.
    void ForgetServerPicture();

    // The full-screen preview while it is open; null otherwise.
    imgPreview* previewWindow() const { return preview_; }

Q_SIGNALS:
    // The main window's image was double-clicked.
    void viewImageDoubleClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const QString& path);
    // The cached copy of a server row in the frame; false when there is none.
    bool showServerRow(const QString& text);
    // Brings a server picture into the cache for its preview (when the View
    // entry asks for it); false, with the reason in the frame, when not.
    bool fetchIntoCache(const QString& name);
    // The transfer itself: empty once the picture is in the cache, or why it
    // was not fetched. Throws FtpError.
    QString fetch(const QString& name, const QString& target);

    MainContext& ctx_;
    QPointer<imgPreview> preview_;
    QString shown_;       // the picture in the frame, fitted again when the frame's size changes
    bool fromServer_ = false;  // the frame shows a server row's picture or note
    QTimer refit_;
};

}  // namespace quillmar
