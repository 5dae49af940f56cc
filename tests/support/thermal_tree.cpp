#include "tests/support/thermal_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/inotify.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool IsWatched(const std::string& File)
{
    return File == "temp" || File == "type" ||
           (File.size() > 6 && File.compare(File.size() - 6, 6, "_input") == 0);
}

} // namespace

ThermalTree::ThermalTree(const std::vector<ZoneSpec>& Zones, bool WithClass,
                         const std::vector<ChipSpec>& Chips)
{
    char pattern[] = "/tmp/cputemp-tree-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        abort();
    }
    Root_ = pattern;
    fs::create_directories(Root_ + "/class");
    if (WithClass) {
        fs::create_directories(ClassDir());
    }
    for (const ZoneSpec& zone : WithClass ? Zones : std::vector<ZoneSpec>{}) {
        const std::string device = "devices/virtual/thermal/" + zone.Name;
        const std::string directory = zone.Linked ? device : "class/thermal/" + zone.Name;
        fs::create_directories(Root_ + "/" + directory);
        if (zone.Linked) {
            fs::create_directory_symlink("../../" + device, ClassDir() + "/" + zone.Name);
        }
        if (zone.Type) {
            Write(directory + "/type", *zone.Type);
            Watched_.emplace_back(directory + "/type", zone.Name + "/type");
        }
        if (zone.Temp) {
            Write(directory + "/temp", *zone.Temp);
            Watched_.emplace_back(directory + "/temp", zone.Name + "/temp");
        }
    }
    if (!Chips.empty()) {
        fs::create_directories(HwmonDir());
    }
    for (const ChipSpec& chip : Chips) {
        // class/hwmon/hwmonN -> devices/<parent>/hwmon/hwmonN, whose device
        // link leads back to the parent.
        const std::string parent = "devices/" + chip.Device;
        const std::string directory = parent + "/hwmon/" + chip.Name;
        fs::create_directories(Root_ + "/" + directory);
        fs::create_directory_symlink("../../" + directory, HwmonDir() + "/" + chip.Name);
        fs::create_directory_symlink("../..", Root_ + "/" + directory + "/device");
        const std::string files = chip.OldLayout ? parent : directory;
        const std::string shown = chip.Name + (chip.OldLayout ? "/device/" : "/");
        for (const auto& [file, text] : chip.Files) {
            Write(files + "/" + file, text);
            if (IsWatched(file)) {
                Watched_.emplace_back(files + "/" + file, shown + file);
            }
        }
    }
}

ThermalTree::~ThermalTree()
{
    if (Inotify_ >= 0) {
        close(Inotify_);
    }
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

void ThermalTree::WatchReads()
{
    Inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (Inotify_ < 0) {
        abort();
    }
    for (const auto& [file, shown] : Watched_) {
        // Closes too, so that two opens in a row are not merged into one event.
        const int watch =
            inotify_add_watch(Inotify_, (Root_ + "/" + file).c_str(), IN_OPEN | IN_CLOSE_NOWRITE);
        if (watch < 0) {
            abort();
        }
        Watches_.emplace_back(watch, shown);
    }
}

std::vector<std::string> ThermalTree::Reads() const
{
    std::vector<std::string> opened;
    alignas(inotify_event) char events[16384];
    for (ssize_t got = read(Inotify_, events, sizeof(events)); got > 0;
         got = read(Inotify_, events, sizeof(events))) {
        for (char* at = events; at < events + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            for (const auto& [watch, shown] : Watches_) {
                if (watch == event->wd && (event->mask & IN_OPEN) != 0) {
                    opened.push_back(shown);
                }
            }
            at += sizeof(inotify_event) + event->len;
        }
    }
    return opened;
}
