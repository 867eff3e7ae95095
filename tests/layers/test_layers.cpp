// The layers go one way: ui -> logic -> data -> engine -> base, with cli and print beside them.
#include "tests/layers/LayerCheck.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

namespace corvanta::test {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += l + "\n";
    return s;
}

LayerTable shippedTable()
{
    std::vector<std::string> errors;
    LayerTable table = parseLayerTable(readText(fs::path(CORVANTA_SOURCE_ROOT) / "tests/layers/layers.txt"), errors);
    EXPECT_TRUE(errors.empty()) << joined(errors);
    return table;
}

TEST(Layers, NoFileIncludesAHigherLayer)
{
    const LayerTable table = shippedTable();
    const std::vector<std::string> problems = checkLayers(CORVANTA_SOURCE_ROOT, table);
    EXPECT_TRUE(problems.empty()) << joined(problems);
}

TEST(Layers, TheTableAgreesWithTheLibraries)
{
    const std::vector<std::string> problems = checkBuildAgrees(CORVANTA_SOURCE_ROOT, shippedTable());
    EXPECT_TRUE(problems.empty()) << joined(problems);
}

// The check itself, on a small tree: what it must find and what it must let pass.
TEST(Layers, TheCheckFindsWhatItShould)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const fs::path root = tmp.path().toStdString();
    std::vector<std::string> errors;
    const LayerTable table = parseLayerTable("layer base\n"
                                             "layer logic base\n"
                                             "layer ui base logic\n"
                                             "layer cli base logic\n"
                                             "skip tests/\n"
                                             "base/ base\n"
                                             "logic/ logic\n"
                                             "logic/Window ui  # an exception by file-name start\n"
                                             "ui/ ui\n"
                                             "cli/ cli\n",
                                             errors);
    ASSERT_TRUE(errors.empty()) << joined(errors);
    EXPECT_EQ(table.layerOf("logic/Window.cpp"), "ui");
    EXPECT_EQ(table.layerOf("logic/WorkLogic.cpp"), "logic");

    writeText(root / "base/Text.h", "#pragma once\n");
    writeText(root / "logic/Work.h", "#include \"base/Text.h\"\n#include <QString>\n#include \"moc_Work.cpp\"\n");
    writeText(root / "ui/Win.h", "#include \"logic/Work.h\"\n");
    writeText(root / "logic/Window.cpp", "#include \"ui/Win.h\"\n");  // ui by its table line
    writeText(root / "tests/t.cpp", "#include \"tests/h.h\"\n#include \"ui/Win.h\"\n");
    writeText(root / "tests/h.h", "");
    writeText(root / "build/CMakeCache.txt", "");
    writeText(root / "build/gen/x.cpp", "#include \"nowhere/y.h\"\n");  // build folders are not sources
    EXPECT_TRUE(checkLayers(root, table).empty()) << joined(checkLayers(root, table));

    // Upward includes, sideways includes between cli and ui, a header beside the file, a file
    // of no layer, and a test header included by the program.
    writeText(root / "base/Bad.cpp", "#include \"base/Text.h\"\n\n  #  include \"logic/Work.h\"\n");
    writeText(root / "cli/Cmd.cpp", "#include \"ui/Win.h\"\n");
    writeText(root / "logic/Near.cpp", "#include \"Window.cpp\"\n");
    writeText(root / "newfolder/New.h", "");
    writeText(root / "ui/Uses.cpp", "#include \"tests/h.h\"\n");
    const std::vector<std::string> problems = checkLayers(root, table);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "base/Bad.cpp:3: base file includes logic/Work.h of layer logic",
                            "cli/Cmd.cpp:1: cli file includes ui/Win.h of layer ui",
                            "logic/Near.cpp:1: logic file includes logic/Window.cpp of layer ui",
                            "newfolder/New.h: no layer (add its folder to layers.txt)",
                            "ui/Uses.cpp:1: ui file includes tests/h.h, which is not part of the program",
                        }));

    // The libraries of the build against the table.
    writeText(root / "logic/CMakeLists.txt",
              "target_sources(corvanta_logic PRIVATE Work.cpp)\n"
              "target_sources(corvanta_ui PRIVATE\n  Window.cpp Near.cpp)\n");
    EXPECT_EQ(checkBuildAgrees(root, table),
              std::vector<std::string>{"logic/Near.cpp: built into ui but layers.txt says logic"});

    // A table that names layers it does not declare.
    errors.clear();
    parseLayerTable("layer a b\nx/ c\nwhat is this\n", errors);
    EXPECT_EQ(errors.size(), 3u) << joined(errors);
}

}  // namespace
}  // namespace corvanta::test
