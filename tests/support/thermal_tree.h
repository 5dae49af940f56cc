// A throw-away sysfs-like tree of thermal zones and hwmon chips.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Texts that, as a file's content, make a file of another kind in its place:
// a FIFO, a socket, or a character device (/dev/null's numbers; where this
// process may not make one, a symbolic link to /dev/null). Opens of the FIFO,
// the socket and the device are noted whatever their names.
inline const std::string FIFO_FILE = "\x01"
                                     "fifo";
inline const std::string SOCKET_FILE = "\x01"
                                       "socket";
inline const std::string DEVICE_FILE = "\x01"
                                       "device";

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
    // The parent under devices/: "virtual" for none, "virtual/thermal/thermal_zoneN"
    // for a zone's own chip.
    std::string Device = "platform/chip";
    bool OldLayout = false; // attributes in the parent device (kernels before 3.13)
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
    // Writes Text, or makes the file a marker stands for; notes the files
    // whose opens are watched as Shown.
    void Put(const std::string& Relative, const std::string& Text, const std::string& Shown);

    // From now on, note every open of a sensor value (*_input, a zone's temp),
    // of a zone's type, and of the files made from markers.
    void WatchReads();
    // What was opened since, in order, as "hwmon2/temp1_input" or "thermal_zone0/type".
    std::vector<std::string> Reads() const;

  private:
    std::string Root_;
    std::vector<std::pair<std::string, std::string>> Watched_; // file, name to report
    std::vector<std::pair<int, std::string>> Watches_;
    int Inotify_ = -1;
};
