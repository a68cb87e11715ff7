// The one rule for names from a server or a person, on both sides.

#include "session/entry_names.h"

#include <QFileInfo>

#include <string_view>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

TEST(EntryNames, OneTableForLocalNamesServerNamesAndCommandText)
{
    struct Case { std::string_view name; bool local, server, line; };
    const Case cases[] = {
        {"a.jpg", true, true, true},
        {"with blank.gif", true, true, true},
        {".hidden", true, true, true},
        {"...", true, true, true},
        {"pics/", false, true, true},  // a folder row's one trailing slash
        {"", false, false, true},
        {"/", false, false, true},
        {".", false, false, true},
        {"..", false, false, true},
        {"../", false, false, true},
        {"../x", false, false, true},
        {"a/b", false, false, true},
        {"a//", false, false, true},
        {"/etc/passwd", false, false, true},
        {"..\\up.jpg", false, true, true},  // a letter on the server, a separator here
        {"a\r\nDELE b", true, false, false},
        {"a\nb", true, false, false},
        {"a\rb", true, false, false},
        {std::string_view("a\0b", 3), false, false, false},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromUtf8(c.name.data(), qsizetype(c.name.size()));
        EXPECT_EQ(EntryNameProblem(name).isEmpty(), c.local) << c.name;
        EXPECT_EQ(IsPlainEntryName(name), c.local) << c.name;
        EXPECT_EQ(ServerNameProblem(name).isEmpty(), c.server) << c.name;
        EXPECT_EQ(LineBreakProblem(name).isEmpty(), c.line) << c.name;
    }
    EXPECT_EQ(FolderName(QStringLiteral("pics/")), QStringLiteral("pics"));
}

TEST(EntryNames, AJoinedNameStaysInItsFolderWhateverItStartsWith)
{
    const struct { const char *folder, *name, *path; } cases[] = {
        {"/home/p", "a.jpg", "/home/p/a.jpg"},
        {"/home/p/", "a.jpg", "/home/p/a.jpg"},
        {"/", "a.jpg", "/a.jpg"},
        {"/home/p", ":a.jpg", "/home/p/:a.jpg"},  // a resource path to Qt on its own
        {"/home/:x", ":y", "/home/:x/:y"},
        {"", ":a.jpg", "./:a.jpg"},
    };
    for (const auto& c : cases) {
        const QString joined = EntryPath(QString::fromUtf8(c.folder), QString::fromUtf8(c.name));
        EXPECT_EQ(joined, QString::fromUtf8(c.path)) << c.folder << " + " << c.name;
        EXPECT_EQ(QFileInfo(joined).fileName(), QString::fromUtf8(c.name)) << c.path;
    }
}

TEST(EntryNames, TheNameAServerStoredAnUploadUnder)
{
    struct Case {
        const char* asked;
        QStringList before, after;
        const char* used;   // "" when none can be told
    };
    const Case cases[] = {
        {" lead.jpg", {"a.jpg"}, {"a.jpg", "_lead.jpg"}, "_lead.jpg"},
        {"end .jpg", {}, {"end_.jpg"}, "end_.jpg"},
        {" lead.jpg", {"_lead.jpg"}, {"_lead.jpg"}, ""},          // that row was there before
        {" two.jpg", {}, {"_two.jpg", "two.jpg"}, ""},            // two could be it
        {" other.jpg", {}, {"_else.jpg"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NameServerUsed(QString::fromUtf8(c.asked), c.before, c.after), QString::fromUtf8(c.used)) << c.asked;
}

// What Rename selects of the old name: all but the extension.
TEST(EntryNames, StemBeforeTheExtension)
{
    const std::pair<const char*, qsizetype> cases[] = {
        {"photo.jpg", 5}, {"archive.tar.gz", 11}, {"README", 6}, {".htaccess", 9}, {"a.", 1}, {"", 0},
        {"images/", 7},
    };
    for (const auto& [name, stem] : cases)
        EXPECT_EQ(NameStemLength(QString::fromUtf8(name)), stem) << name;
}

}  // namespace
}  // namespace quillmar
