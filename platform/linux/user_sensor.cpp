// The sensor the user names, decided on the objects themselves: a regular
// file, a directory holding a regular temp (a zone), or else a chip's
// directory. A device, a FIFO or a socket is never opened for reading:
// opening some acts (a pty is made, a serial line raises DTR, a watchdog
// arms, a FIFO's writer is let go). The opens repeat the checks
// (OpenRegular): the object read is the object checked.
#include <errno.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/thermal.h"

void AddUserSensor(const char* Path, InterfaceTable* Table)
{
    size_t units = 0;
    if (!Utf16FromUtf8(Path, nullptr, &units)) {
        return;
    }
    const int object = open(Path, O_PATH | O_CLOEXEC);
    if (object < 0) {
        Table->Exhausted = ExhaustedBy(errno);
        return;
    }
    struct stat st;
    if (fstat(object, &st) != 0) {
        Table->Exhausted = ExhaustedBy(errno);
    } else if (S_ISREG(st.st_mode)) {
        AddInterface(Table, Path, CHECKED);
        AddInterfaceMember(Table, Path);
    } else if (S_ISDIR(st.st_mode)) {
        const int temp = openat(object, "temp", O_PATH | O_CLOEXEC);
        if (temp >= 0) {
            char member[PATH_CAP];
            if (fstat(temp, &st) == 0 && S_ISREG(st.st_mode) && JoinPath(member, Path, "/temp")) {
                AddInterface(Table, Path, CHECKED);
                AddInterfaceMember(Table, member);
            }
            close(temp);
        } else if (ExhaustedBy(errno)) {
            Table->Exhausted = true;
        } else {
            AddChipDirectory(Path, Table);
        }
    }
    close(object);
}
