#include "tests/layers/LayerCheck.h"

#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <fstream>
#include <sstream>

namespace corvanta::test {

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool isSource(const fs::path& p)
{
    const std::string ext = p.extension().string();
    return ext == ".cpp" || ext == ".h";
}

// Files under root whose name passes keep, relative with '/' and sorted; build folders (they
// hold a CMakeCache.txt) and hidden folders are left out.
template <typename Keep>
std::vector<std::string> treeFiles(const fs::path& root, Keep keep)
{
    std::vector<std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& p = it->path();
        if (it->is_directory()) {
            const std::string name = p.filename().string();
            if ((!name.empty() && name[0] == '.') || fs::exists(p / "CMakeCache.txt"))
                it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file() && keep(p))
            files.push_back(fs::relative(p, root).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Libraries of the build and the layer their files belong to.
std::optional<std::string> layerOfLibrary(const std::string& target)
{
    static const std::map<std::string, std::string> libraries = {
        {"corvanta_base", "base"},   {"corvanta_engine", "engine"}, {"corvanta_data", "data"},
        {"corvanta_logic", "logic"}, {"corvanta_ui", "ui"},         {"corvanta_cli", "cli"},
        {"corvanta_print_core", "print"}, {"corvanta_chart", "chart"},
    };
    const auto it = libraries.find(target);
    if (it == libraries.end())
        return std::nullopt;
    return it->second;
}

}  // namespace

std::optional<std::string> LayerTable::layerOf(const std::string& path) const
{
    const std::pair<std::string, std::string>* best = nullptr;
    for (const auto& entry : paths)
        if (startsWith(path, entry.first) && (!best || entry.first.size() > best->first.size()))
            best = &entry;
    if (!best)
        return std::nullopt;
    return best->second;
}

bool LayerTable::isSkipped(const std::string& path) const
{
    return std::any_of(skipped.begin(), skipped.end(), [&](const std::string& s) { return startsWith(path, s); });
}

LayerTable parseLayerTable(const std::string& text, std::vector<std::string>& errors)
{
    LayerTable table;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    std::vector<std::pair<int, std::vector<std::string>>> pathLines;
    while (std::getline(in, line)) {
        ++lineNo;
        const auto hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;)
            w.push_back(s);
        if (w.empty())
            continue;
        if (w[0] == "layer" && w.size() >= 2) {
            std::set<std::string>& may = table.mayInclude[w[1]];
            may.insert(w[1]);
            for (size_t i = 2; i < w.size(); ++i) {
                if (!table.mayInclude.count(w[i]))
                    errors.push_back("layers.txt:" + std::to_string(lineNo) + ": layer " + w[i] +
                                     " is used before it is declared");
                may.insert(w[i]);
            }
        } else if (w[0] == "skip" && w.size() == 2) {
            table.skipped.push_back(w[1]);
        } else if (w.size() == 2) {
            pathLines.push_back({lineNo, w});
        } else {
            errors.push_back("layers.txt:" + std::to_string(lineNo) + ": cannot read \"" + line + "\"");
        }
    }
    for (const auto& [n, w] : pathLines) {
        if (!table.mayInclude.count(w[1]))
            errors.push_back("layers.txt:" + std::to_string(n) + ": unknown layer " + w[1]);
        table.paths.emplace_back(w[0], w[1]);
    }
    return table;
}

std::vector<std::string> checkLayers(const fs::path& root, const LayerTable& table)
{
    static const QRegularExpression includeLine(QStringLiteral(R"(^\s*#\s*include\s*"([^"]+)\")"));
    std::vector<std::string> problems;
    for (const std::string& file : treeFiles(root, [](const fs::path& p) { return isSource(p); })) {
        if (table.isSkipped(file))
            continue;
        const std::optional<std::string> layer = table.layerOf(file);
        if (!layer) {
            problems.push_back(file + ": no layer (add its folder to layers.txt)");
            continue;
        }
        const std::set<std::string>& may = table.mayInclude.at(*layer);
        std::istringstream in(readFile(root / file));
        std::string line;
        for (int lineNo = 1; std::getline(in, line); ++lineNo) {
            const QRegularExpressionMatch m = includeLine.match(QString::fromStdString(line));
            if (!m.hasMatch())
                continue;
            // Paths are written from the source root; a name beside the file is also accepted.
            std::string header = m.captured(1).toStdString();
            if (!fs::is_regular_file(root / header)) {
                const fs::path beside = fs::path(file).parent_path() / header;
                if (!fs::is_regular_file(root / beside))
                    continue;  // generated or not ours
                header = beside.lexically_normal().generic_string();
            }
            const std::optional<std::string> target = table.layerOf(header);
            if (table.isSkipped(header)) {
                problems.push_back(file + ":" + std::to_string(lineNo) + ": " + *layer + " file includes " + header +
                                   ", which is not part of the program");
            } else if (target && !may.count(*target)) {
                problems.push_back(file + ":" + std::to_string(lineNo) + ": " + *layer + " file includes " + header +
                                   " of layer " + *target);
            }
        }
    }
    return problems;
}

std::vector<std::string> checkBuildAgrees(const fs::path& root, const LayerTable& table)
{
    // target_sources(corvanta_x PRIVATE a.cpp ...) and add_library(corvanta_x STATIC a.cpp ...).
    static const QRegularExpression sourcesCall(QStringLiteral(
        R"((?:target_sources|add_library)\s*\(\s*(corvanta_\w+)\s+(?:PRIVATE|STATIC)([^)]*)\))"));
    std::vector<std::string> problems;
    for (const std::string& lists : treeFiles(root, [](const fs::path& p) { return p.filename() == "CMakeLists.txt"; })) {
        const std::string folder = fs::path(lists).parent_path().generic_string();
        if (table.isSkipped(folder + "/"))
            continue;
        const QString text = QString::fromStdString(readFile(root / lists));
        for (auto m = sourcesCall.globalMatch(text); m.hasNext();) {
            const QRegularExpressionMatch call = m.next();
            const std::optional<std::string> built = layerOfLibrary(call.captured(1).toStdString());
            if (!built)
                continue;
            for (const QString& word : call.captured(2).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
                const std::string name = word.toStdString();
                if (!isSource(name) || name.find('$') != std::string::npos)
                    continue;
                const std::string file = folder.empty() ? name : folder + "/" + name;
                const std::optional<std::string> listed = table.layerOf(file);
                if (listed != built)
                    problems.push_back(file + ": built into " + *built + " but layers.txt says " +
                                       listed.value_or("nothing"));
            }
        }
    }
    return problems;
}

}  // namespace corvanta::test
