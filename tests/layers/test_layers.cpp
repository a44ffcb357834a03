// Each folder includes only the layers the README's table allows it, so the
// table stays the truth about the code.
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// folder -> what it may include besides itself: folders ("services/") or
// single headers ("services/WholeFile.h").
using LayerTable = QMap<QString, QStringList>;

LayerTable layerTableOf(const QString& readmePath)
{
    QFile readme(readmePath);
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype section = text.indexOf(QStringLiteral("\n## Layers\n"));
    if (section < 0)
        return {};
    const qsizetype sectionEnd = text.indexOf(QStringLiteral("\n## "), section + 1);
    static const QRegularExpression row(QStringLiteral(R"(^\| `([a-z]+)/` \|(.*)\|\s*$)"),
                                        QRegularExpression::MultilineOption);
    static const QRegularExpression quoted(QStringLiteral("`([^`]+)`"));
    LayerTable table;
    for (const auto& match : row.globalMatch(text.mid(section, sectionEnd - section))) {
        QStringList allowed;
        for (const auto& item : quoted.globalMatch(match.captured(2)))
            allowed << item.captured(1);
        table.insert(match.captured(1), allowed);
    }
    return table;
}

// "services/Dialogs.cpp includes spreadsheet/Workbook.h", one per crossing.
QStringList crossingsIn(const QString& root, const LayerTable& table)
{
    static const QRegularExpression include(QStringLiteral(R"re(^\s*#\s*include\s+"(([a-z]+)/[^"]+)")re"),
                                            QRegularExpression::MultilineOption);
    QStringList crossings;
    for (auto layer = table.cbegin(); layer != table.cend(); ++layer) {
        QDirIterator files(QDir(root).filePath(layer.key()), {QStringLiteral("*.h"), QStringLiteral("*.cpp")},
                           QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const auto& match : include.globalMatch(QString::fromUtf8(file.readAll()))) {
                const QString target = match.captured(1);
                const bool allowed = match.captured(2) == layer.key()
                    || std::any_of(layer->cbegin(), layer->cend(), [&](const QString& item) {
                                         return item.endsWith(u'/') ? target.startsWith(item) : target == item;
                                     });
                if (!allowed)
                    crossings << QDir(root).relativeFilePath(path) + QStringLiteral(" includes ") + target;
            }
        }
    }
    return crossings;
}

QString sourceRoot()
{
    return QStringLiteral(SOURCE_ROOT);
}

TEST(Layers, EveryFolderOfTheProgramHasARow)
{
    const LayerTable table = layerTableOf(QDir(sourceRoot()).filePath(QStringLiteral("README.md")));
    for (const QString& folder : QDir(sourceRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const bool mayIncludeAll = folder == u"tests" || folder == u"bench";
        if (!mayIncludeAll && QFile::exists(QDir(sourceRoot()).filePath(folder + QStringLiteral("/CMakeLists.txt")))) {
            EXPECT_TRUE(table.contains(folder)) << folder.toStdString();
        }
    }
}

TEST(Layers, NoFolderIncludesALayerItMayNot)
{
    const LayerTable table = layerTableOf(QDir(sourceRoot()).filePath(QStringLiteral("README.md")));
    ASSERT_GE(table.size(), 7);
    EXPECT_EQ(crossingsIn(sourceRoot(), table).join(u'\n').toStdString(), "");
}

TEST(Layers, ACrossingIsFound)
{
    const QString root = testing_support::testRoot() + QStringLiteral("/layers");
    const LayerTable table{{QStringLiteral("services"), {QStringLiteral("resources/")}},
                           {QStringLiteral("spreadsheet"), {QStringLiteral("services/WholeFile.h")}}};
    testing_support::writeFileBytes(root + QStringLiteral("/services/inner/A.cpp"),
                                    "#include \"services/A.h\"\n#include \"resources/Icon.h\"\n"
                                    "  #  include \"spreadsheet/Workbook.h\"\n");
    testing_support::writeFileBytes(root + QStringLiteral("/spreadsheet/B.cpp"),
                                    "#include \"services/WholeFile.h\"\n#include \"services/WholeFile.hpp\"\n"
                                    "#include <services/Ignored.h>\n");
    EXPECT_EQ(crossingsIn(root, table),
              QStringList({QStringLiteral("services/inner/A.cpp includes spreadsheet/Workbook.h"),
                           QStringLiteral("spreadsheet/B.cpp includes services/WholeFile.hpp")}));
}

} // namespace
