// scripts/add-demo-site: the "Demo" entry the site manager reads, added once.

#include "sites/site_store.h"
#include "sites/ui_kit.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace {

TEST(DemoSite, AddedOnceInTheSiteManagersOwnFormat)
{
    QTemporaryDir build;
    ASSERT_TRUE(QDir(build.path()).mkdir("src"));
    const QString store = build.filePath("src/sites.snd");
    const auto addDemoSite = [&build] {
        QProcess script;
        script.start("bash", {QUILLMAR_SCRIPTS_DIR "/add-demo-site", build.path()});
        return script.waitForFinished(60000) ? script.exitCode() : -1;
    };
    uikit::WriteFile(store, "Mine;mine.example;me;pw");  // a last line without its end
    ASSERT_EQ(addDemoSite(), 0);
    ASSERT_EQ(addDemoSite(), 0);
    const QString demo = "Demo" + QString(100, u' ') + ";127.0.0.1:2121;demo;demo";
    EXPECT_EQ(quillmar::LoadSiteList(build.filePath("src")), (QStringList{"Mine;mine.example;me;pw", demo}));
    EXPECT_TRUE(uikit::ReadFile(store).endsWith("demo\r\n"));
    EXPECT_EQ(QFile::permissions(store) & QFileDevice::Permissions(0x0077), 0);

    // Deleted by the person later: not forced back on the next run.
    uikit::WriteFile(store, "");
    ASSERT_EQ(addDemoSite(), 0);
    EXPECT_EQ(uikit::ReadFile(store), QByteArray());
}

}  // namespace
