#include "tests/support/thermal_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <cstring>

#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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
            Put(directory + "/type", *zone.Type, zone.Name + "/type");
        }
        if (zone.Temp) {
            Put(directory + "/temp", *zone.Temp, zone.Name + "/temp");
        }
    }
    if (!Chips.empty()) {
        fs::create_directories(HwmonDir());
    }
    for (const ChipSpec& chip : Chips) {
        // As Linux 6.1 lays them out: class/hwmon/hwmonN -> devices/<parent>/
        // hwmon/hwmonN, or, under a thermal zone (a class device itself),
        // devices/<zone>/hwmonN; a device link leads back to the parent, and a
        // chip without one (devices/virtual/hwmon/hwmonN) has none.
        const std::string parent = "devices/" + chip.Device;
        const bool underZone = chip.Device.rfind("virtual/thermal/", 0) == 0;
        const std::string directory = parent + (underZone ? "/" : "/hwmon/") + chip.Name;
        fs::create_directories(Root_ + "/" + directory);
        fs::create_directory_symlink("../../" + directory, HwmonDir() + "/" + chip.Name);
        if (chip.Device != "virtual") {
            fs::create_directory_symlink((underZone ? "../../" : "../../../") +
                                             fs::path(parent).filename().string(),
                                         Root_ + "/" + directory + "/device");
        }
        const std::string files = chip.OldLayout ? parent : directory;
        const std::string shown = chip.Name + (chip.OldLayout ? "/device/" : "/");
        for (const auto& [file, text] : chip.Files) {
            Put(files + "/" + file, text, shown + file);
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
    fs::create_directories(fs::path(Root_ + "/" + Relative).parent_path());
    std::ofstream out(Root_ + "/" + Relative, std::ios::binary | std::ios::trunc);
    out << Text;
    if (!out) {
        abort();
    }
}

void ThermalTree::Put(const std::string& Relative, const std::string& Text,
                      const std::string& Shown)
{
    const std::string path = Root_ + "/" + Relative;
    const std::string file = fs::path(Relative).filename().string();
    if (Text == FIFO_FILE) {
        if (mkfifo(path.c_str(), 0600) != 0) {
            abort();
        }
    } else if (Text == SOCKET_FILE) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || path.size() >= sizeof(address.sun_path)) {
            abort();
        }
        memcpy(address.sun_path, path.c_str(), path.size() + 1);
        if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            abort();
        }
        close(fd);
    } else if (Text == DEVICE_FILE) {
        if (mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
            fs::create_symlink("/dev/null", path);
            return; // the real /dev/null: others' opens of it are no news
        }
    } else {
        Write(Relative, Text);
        if (IsWatched(file)) {
            Watched_.emplace_back(Relative, Shown);
        }
        return;
    }
    Watched_.emplace_back(Relative, Shown);
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
