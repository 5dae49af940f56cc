// A throw-away sysfs-like tree of thermal zones.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ZoneSpec {
    std::string Name;                // e.g. "thermal_zone0"
    std::optional<std::string> Type; // the type file, written as is
    std::optional<std::string> Temp; // the temp file, written as is
    bool Linked = true;              // a symlink into devices/, as the kernel lays it out
};

class ThermalTree {
  public:
    // Makes <root>/class/thermal holding Zones; without the thermal class when
    // WithClass is false.
    explicit ThermalTree(const std::vector<ZoneSpec>& Zones, bool WithClass = true);
    ~ThermalTree();
    ThermalTree(const ThermalTree&) = delete;
    ThermalTree& operator=(const ThermalTree&) = delete;

    const std::string& Root() const { return Root_; } // stands for /sys
    std::string ClassDir() const { return Root_ + "/class/thermal"; }
    void Write(const std::string& Relative, const std::string& Text) const;

  private:
    std::string Root_;
};
