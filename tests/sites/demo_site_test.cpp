// scripts/add-demo-site: the "Demo" entry the site manager reads, added once.

#include "sites/site_store.h"
#include "sites/ui_kit.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

int RunAddDemoSite(const QString& buildDir)
{
    QProcess script;
    script.start(QStringLiteral("bash"), {QStringLiteral(QUILLMAR_SCRIPTS_DIR "/add-demo-site"), buildDir});
    if (!script.waitForFinished(60000))
        return -1;
    return script.exitCode();
}

TEST(DemoSite, AddedOnceInTheSiteManagersOwnFormat)
{
    QTemporaryDir build;
    ASSERT_TRUE(QDir(build.path()).mkdir(QStringLiteral("src")));
    const QString store = build.filePath(QStringLiteral("src/sites.snd"));
    uikit::WriteFile(store, "Mine;mine.example;me;pw");  // a last line without its end

    ASSERT_EQ(RunAddDemoSite(build.path()), 0);
    ASSERT_EQ(RunAddDemoSite(build.path()), 0);
    const QString demo = *quillmar::BuildSiteEntry(QStringLiteral("Demo"), QStringLiteral("127.0.0.1:2121"),
                                                   QStringLiteral("demo"), QStringLiteral("demo"));
    EXPECT_EQ(quillmar::LoadSiteList(build.filePath(QStringLiteral("src"))),
              (QStringList{QStringLiteral("Mine;mine.example;me;pw"), demo}));
    EXPECT_TRUE(uikit::ReadFile(store).endsWith("demo\r\n"));
    EXPECT_EQ(QFile::permissions(store) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);

    // Deleted by the person later: not forced back on the next run.
    uikit::WriteFile(store, "");
    ASSERT_EQ(RunAddDemoSite(build.path()), 0);
    EXPECT_EQ(uikit::ReadFile(store), QByteArray());
}

}  // namespace
