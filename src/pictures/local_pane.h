#pragma once

#include <QGroupBox>
#include <QListWidget>
#include <QPoint>
#include <QStringList>

#include <functional>

class QComboBox;

namespace quillmar {

class Dialogs;

// A list of the local pane that reports focus, right-button releases and
// keyboard moves, and leaves the Delete key to the main window.
class LocalList : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;

Q_SIGNALS:
    void focusEntered();
    void rightButtonReleased(const QPoint& globalPos);
    void currentMovedByKey();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    bool m_keyboardMove = false;
};

// The local pane: drive list, folder list and file list, kept following each
// other. The selected folder is also the process's working directory, so a
// bare file name from the file list resolves in the folder the person sees.
class LocalPane : public QGroupBox {
    Q_OBJECT
public:
    // drives: the drive roots to offer, most general first.
    LocalPane(Dialogs& dialogs, std::function<QStringList()> drives, QWidget* parent = nullptr);

    QString folder() const { return m_folder; }
    QString currentFile() const;      // bare name; empty when none
    QStringList selectedFiles() const;  // bare names, in list order

    // As if the person chose the folder: on failure shows the message and
    // returns false, and the pane keeps the folder it had.
    bool setFolder(const QString& path);
    // As if the person chose the drive; returns false after the message.
    bool setDrive(int index);

    void refreshFiles();
    void refreshFolders();

    QListWidget* fileList() const { return m_files; }
    QListWidget* folderList() const { return m_folders; }
    QComboBox* driveList() const { return m_drives; }

    // The drive a path lies on: the longest offered root that contains it.
    int driveIndexOf(const QString& path) const;

Q_SIGNALS:
    void focusEntered();  // the file list took the focus: the pane commands act on
    void folderListFocused();
    void contextMenuRequested(const QPoint& globalPos);
    void fileClicked();
    void fileDoubleClicked();

private:
    void onDriveChanged(int index);
    void onFolderActivated(QListWidgetItem* item);
    bool runDriveChange(int index);
    bool runFolderChange(const QString& path);
    bool enterFolder(const QString& path);
    void showFolders(const QString& path, const QStringList& subfolders);
    void showFiles(const QStringList& files, const QString& keepCurrent);
    void showMessage(const QString& text);

    Dialogs& m_dialogs;
    QStringList m_driveRoots;
    QString m_folder;
    QComboBox* m_drives;
    LocalList* m_folders;
    LocalList* m_files;
    bool m_driveChangeOk = true;
};

}  // namespace quillmar
