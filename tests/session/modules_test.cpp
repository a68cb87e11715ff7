// Finding the protocol modules the program loads on first use.

#include "session/modules.h"
#include "session/transport.h"
#include "support/files.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillmar;

// Each protocol's module is found from where the program runs, also after a
// folder without it; one that is missing or no library is named with where
// it was looked for, not loaded half-way.
TEST(ModuleLoading, FindsEachProtocolAndNamesWhatIsMissing)
{
    QTemporaryDir empty;
    QTemporaryDir broken;
    const QString notLibrary = broken.filePath(QStringLiteral("libquillmar_broken.so"));
    ASSERT_TRUE(WriteFile(notLibrary, "not a library"));

    const struct {
        const char* what;
        QStringList folders;
        QString module;
        QString problemNames;  // empty: the entry is found
    } cases[] = {
        {"FTP", ModuleFolders(), QStringLiteral("quillmar_ftp"), {}},
        {"SFTP, after a folder without it", QStringList{empty.path()} + ModuleFolders(),
         QStringLiteral("quillmar_sftp"), {}},
        {"missing", {empty.path()}, QStringLiteral("quillmar_none"), empty.path()},
        {"not a library", {broken.path()}, QStringLiteral("quillmar_broken"), notLibrary},
    };
    for (const auto& c : cases) {
        QString problem;
        const QFunctionPointer entry = ResolveModuleEntry(c.folders, c.module, kTransportEntry, &problem);
        EXPECT_EQ(entry != nullptr, c.problemNames.isEmpty()) << c.what << ": " << problem.toStdString();
        EXPECT_TRUE(problem.contains(c.problemNames)) << c.what << ": " << problem.toStdString();
        if (!c.problemNames.isEmpty())
            EXPECT_TRUE(problem.contains(QStringLiteral("lib%1.so").arg(c.module))) << c.what;
    }
}
