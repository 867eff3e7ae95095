#pragma once
// Reads the layer table (layers.txt) and checks the #include lines of a source tree against it.
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace corvanta::test {

struct LayerTable {
    std::map<std::string, std::set<std::string>> mayInclude;  // layer -> layers it may include (itself too)
    std::vector<std::pair<std::string, std::string>> paths;   // path start -> layer
    std::vector<std::string> skipped;

    // The layer of a file (path relative to the root, with '/'); nullopt when no line matches.
    std::optional<std::string> layerOf(const std::string& path) const;
    bool isSkipped(const std::string& path) const;
};

// Problems in the table text are appended to errors.
LayerTable parseLayerTable(const std::string& text, std::vector<std::string>& errors);

// One line per problem: "FILE:LINE: FILE's layer includes HEADER of layer L", "FILE: no layer".
// Only headers that exist under root count (Qt's and the system's are not ours).
std::vector<std::string> checkLayers(const std::filesystem::path& root, const LayerTable& table);

// The layer each library of the build (CMakeLists.txt target_sources / add_library) puts a file
// in, checked against the table: "FILE: built into L but the table says M".
std::vector<std::string> checkBuildAgrees(const std::filesystem::path& root, const LayerTable& table);

}  // namespace corvanta::test
