#pragma once

// A main window connected to the real FTP server, with helpers to pick rows
// and files as a person would.

#include "shell/window_rig.h"
#include "support/ftp_server_fixture.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QStringList>

#include <gtest/gtest.h>

inline void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

inline QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A real JPEG (or GIF) of the given pixel size.
inline void WritePicture(const QString& path, int width, int height, const char* format = "JPG")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(200, 120, 40));
    ASSERT_TRUE(image.save(path, format)) << path.toStdString();
}

inline QStringList RowTexts(const WindowRig& rig)
{
    auto* view = rig.find<QAbstractItemView>("ListView1");
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts << view->model()->index(row, 0).data().toString();
    return texts;
}

inline QModelIndex RowIndex(const WindowRig& rig, const QString& text)
{
    auto* view = rig.find<QAbstractItemView>("ListView1");
    const QModelIndexList hits =
        view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchExactly);
    return hits.value(0);
}

// Selects exactly these server rows; the first becomes the current one.
inline void SelectRows(WindowRig& rig, const QStringList& texts)
{
    auto* view = rig.find<QAbstractItemView>("ListView1");
    view->clearSelection();
    bool first = true;
    for (const QString& text : texts) {
        const QModelIndex index = RowIndex(rig, text);
        ASSERT_TRUE(index.isValid()) << "no row " << text.toStdString();
        if (first)
            view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect
                                                               | QItemSelectionModel::Rows);
        else
            view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        first = false;
    }
}

inline QStringList SelectedTexts(const WindowRig& rig)
{
    auto* view = rig.find<QAbstractItemView>("ListView1");
    QStringList texts;
    for (const QModelIndex& index : view->selectionModel()->selectedRows(0))
        texts << index.data().toString();
    texts.sort();
    return texts;
}

// Makes a local file the current one of File1 and selects exactly these.
inline void SelectLocalFiles(WindowRig& rig, const QStringList& names)
{
    auto* files = rig.find<QListWidget>("File1");
    files->clearSelection();
    for (const QString& name : names) {
        const QList<QListWidgetItem*> hits = files->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(hits.size(), 1) << name.toStdString();
        if (name == names.first())
            files->setCurrentItem(hits.first());
        hits.first()->setSelected(true);
    }
}

// The window connected to a server that holds a.jpg, b.txt and images/c.gif.
class ConnectedWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running()) << server.error().toStdString();
        QDir(server.root()).mkdir(QStringLiteral("images"));
        WriteBytes(serverPath(QStringLiteral("a.jpg")), QByteArray(1500, 'j'));
        WriteBytes(serverPath(QStringLiteral("b.txt")), QByteArray(512, 't'));
        WriteBytes(serverPath(QStringLiteral("images/c.gif")), QByteArray(2500, 'g'));
        rig.presetStore({{QStringLiteral("URL"), QStringLiteral("127.0.0.1:%1").arg(server.port())},
                         {QStringLiteral("User"), server.user()},
                         {QStringLiteral("Pass"), server.password()},
                         {QStringLiteral("Description"), QStringLiteral("Shop")}});
    }

    quillmar::Form1& openConnected()
    {
        quillmar::Form1& form = rig.open();
        form.Connect();
        EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
        return form;
    }

    QString serverPath(const QString& name) const { return QDir(server.root()).filePath(name); }
    QString localPath(const QString& name) const { return rig.localFolder.filePath(name); }
    QString cachePath(const QString& name) const
    {
        return QDir(rig.appFolder.filePath(QStringLiteral("Cache"))).filePath(name);
    }

    quillmar::test::FtpServerFixture server;
    WindowRig rig;
};
