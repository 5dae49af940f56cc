// A throw-away sysfs-like tree of thermal zones and hwmon chips.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ZoneSpec {
    std::string Name;                // e.g. "thermal_zone0"
    std::optional<std::string> Type; // the type file, written as is
    std::optional<std::string> Temp; // the temp file, written as is
    bool Linked = true;              // a symlink into devices/, as the kernel lays it out
};

struct ChipSpec {
    std::string Name; // e.g. "hwmon2"
    // Attribute files, written as is: {"name", "coretemp\n"}, {"temp1_input", "45000\n"}.
    std::vector<std::pair<std::string, std::string>> Files;
    std::string Device = "platform/chip"; // the parent under devices/
    bool OldLayout = false;               // attributes in the parent device (kernels before 3.13)
};

class ThermalTree {
  public:
    // Makes <root>/class/thermal holding Zones (none when WithClass is false)
    // and, when there are Chips, <root>/class/hwmon holding them.
    explicit ThermalTree(const std::vector<ZoneSpec>& Zones, bool WithClass = true,
                         const std::vector<ChipSpec>& Chips = {});
    ~ThermalTree();
    ThermalTree(const ThermalTree&) = delete;
    ThermalTree& operator=(const ThermalTree&) = delete;

    const std::string& Root() const { return Root_; } // stands for /sys
    std::string ClassDir() const { return Root_ + "/class/thermal"; }
    std::string HwmonDir() const { return Root_ + "/class/hwmon"; }
    void Write(const std::string& Relative, const std::string& Text) const;

    // From now on, note every open of a sensor value (*_input, a zone's temp)
    // and of a zone's type.
    void WatchReads();
    // What was opened since, in order, as "hwmon2/temp1_input" or "thermal_zone0/type".
    std::vector<std::string> Reads() const;

  private:
    std::string Root_;
    std::vector<std::pair<std::string, std::string>> Watched_; // file, name to report
    std::vector<std::pair<int, std::string>> Watches_;
    int Inotify_ = -1;
};
