#pragma once

#include <QGroupBox>
#include <QListWidget>
#include <QPoint>
#include <QStringList>
#include <QTimer>

#include <functional>

class QComboBox;
class QFileSystemWatcher;

namespace quillmar {

class Dialogs;

// The drag type of server rows: their texts, one a line.
inline constexpr char kServerRowsMime[] = "application/x-quillmar-server-rows";

// A list of the local pane that reports focus, right-button releases,
// keyboard moves and Enter (the input it shares with the server list), and
// dropped server rows. Dragged files travel as file addresses.
class LocalList : public QListWidget {
    Q_OBJECT
public:
    LocalList(const QString& folder, QWidget* parent);
    void setFolder(const QString& folder) { folder_ = folder; }

Q_SIGNALS:
    void focusEntered();
    void rightButtonReleased(const QPoint& globalPos);
    void currentMovedByKey();
    void enterPressed();
    void serverRowsDropped(const QStringList& rows);

protected:
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    QStringList mimeTypes() const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QString folder_;
};

// The local pane: drive list, folder list and file list, kept following each
// other. The selected folder is also the process's working directory, so a
// bare file name from the file list resolves in the folder the person sees.
class LocalPane : public QGroupBox {
    Q_OBJECT
public:
    // drives: the drive roots to offer, most general first.
    LocalPane(Dialogs& dialogs, std::function<QStringList()> drives, QWidget* parent = nullptr);

    QString folder() const { return folder_; }
    QString currentFile() const;      // bare name; empty when none
    QStringList selectedFiles() const;  // bare names, in list order

    // As if the person chose the folder: on failure shows the message and
    // returns false, and the pane keeps the folder it had.
    bool setFolder(const QString& path);
    // As if the person chose the drive; returns false after the message.
    bool setDrive(int index);
    // The folder a new window starts in: no message when it is gone.
    bool enterFolderQuietly(const QString& path) { return enterFolder(path); }

    void refreshFiles();
    void refreshFolders();

    QSize sizeHint() const override;

    QListWidget* fileList() const { return files_; }
    QListWidget* folderList() const { return folders_; }
    QComboBox* driveList() const { return drives_; }

    // The drive a path lies on: the longest offered root that contains it.
    int driveIndexOf(const QString& path) const;

Q_SIGNALS:
    void focusEntered();  // the file list took the focus: the pane commands act on
    void folderListFocused();
    void contextMenuRequested(const QPoint& globalPos);
    void fileClicked();
    void fileDoubleClicked();
    void serverRowsDropped(const QStringList& rows);

private:
    void onDriveChanged(int index);
    void onFolderActivated(QListWidgetItem* item);
    bool runDriveChange(int index);
    bool runFolderChange(const QString& path);
    bool enterFolder(const QString& path);
    void showFolders(const QString& path, const QStringList& subfolders);
    void showFiles(const QStringList& files, const QString& keepCurrent, const QStringList& keepSelected = {});
    void followDisk();
    void showMessage(const QString& text);

    Dialogs& dialogs_;
    QStringList driveRoots_;
    QString folder_;
    QComboBox* drives_;
    LocalList* folders_;
    LocalList* files_;
    bool driveChangeOk_ = true;
    QFileSystemWatcher* watcher_;
    QTimer diskChanged_;
};

}  // namespace quillmar
