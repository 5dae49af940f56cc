#include "tests/support/thermal_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

ThermalTree::ThermalTree(const std::vector<ZoneSpec>& Zones, bool WithClass)
{
    char pattern[] = "/tmp/cputemp-tree-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        abort();
    }
    Root_ = pattern;
    fs::create_directories(Root_ + "/class");
    if (!WithClass) {
        return;
    }
    fs::create_directories(ClassDir());
    for (const ZoneSpec& zone : Zones) {
        const std::string device = Root_ + "/devices/virtual/thermal/" + zone.Name;
        const std::string entry = ClassDir() + "/" + zone.Name;
        const std::string directory = zone.Linked ? device : entry;
        fs::create_directories(directory);
        if (zone.Linked) {
            fs::create_directory_symlink("../../devices/virtual/thermal/" + zone.Name, entry);
        }
        if (zone.Type) {
            Write(directory.substr(Root_.size() + 1) + "/type", *zone.Type);
        }
        if (zone.Temp) {
            Write(directory.substr(Root_.size() + 1) + "/temp", *zone.Temp);
        }
    }
}

ThermalTree::~ThermalTree()
{
    fs::remove_all(Root_);
}

void ThermalTree::Write(const std::string& Relative, const std::string& Text) const
{
    std::ofstream out(Root_ + "/" + Relative, std::ios::binary | std::ios::trunc);
    out << Text;
    if (!out) {
        abort();
    }
}
