#pragma once

#include "session/server_place.h"
#include "shell/services.h"

#include <QMainWindow>

class QComboBox;
class QFrame;
class QLabel;
class QListWidget;

namespace quillmar {

// The last-connection listing viewer: picks one of the saved snapshots in
// the application folder and shows its names and when it was written,
// without a connection. A click on a row previews the cached picture of that
// name beside the list.
class FileList : public QMainWindow {
    Q_OBJECT
public:
    explicit FileList(const Services& services, QWidget* parent = nullptr);

    // Loads (fills the snapshot names) when not loaded, then shows the
    // window or brings it forward.
    void Open();

    void Combo1_Click(int index);
    void ListView1_Click(int row);
    // The layout rules: everything follows the window's outer size.
    void Form_Resize();

    bool isLoaded() const { return loaded_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildElements();
    void Form_Load();
    void showPreview(const QString& name);
    void hidePreview();

    Services services_;
    QComboBox* combo_ = nullptr;
    QListWidget* list_ = nullptr;
    QLabel* panel1_ = nullptr;
    QFrame* picback_ = nullptr;
    QLabel* viewimage_ = nullptr;
    ServerPlace place_;  // where the chosen snapshot's rows were
    bool loaded_ = false;
};

}  // namespace quillmar
