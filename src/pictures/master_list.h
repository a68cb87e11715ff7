#pragma once

#include <QIcon>
#include <QObject>

namespace quillmar {

// The server list's small icons, drawn here so no image files ship with the
// program. Index 1 is the folder, index 2 the file, as the listing chooses.
QIcon FolderIcon();
QIcon FileIcon();

// The image list element itself, for the window that wants it by name. It
// holds nothing but the two icons; any number may exist.
class MasterList : public QObject {
    Q_OBJECT
public:
    explicit MasterList(QObject* parent = nullptr);
    QIcon folderIcon() const { return m_folder; }
    QIcon fileIcon() const { return m_file; }
    // 1 = folder, 2 = file; anything else gives an empty icon.
    QIcon image(int index) const;

private:
    QIcon m_folder;
    QIcon m_file;
};

}  // namespace quillmar
