#include "discovery/discovery.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "discovery/bounded_copy.h"

// Above this many units the block's byte count no longer fits in 32 bits.
constexpr ULONG MAX_LIST_CCH = 0x7FFFFFFF;

void FindDevicePath(WCHAR (&DevicePath)[DEVICE_PATH_CCH])
{
    // The Configuration Manager takes the class by non-const pointer.
    GUID interfaceClass = CpuThermalInterfaceGuid;
    ULONG listCch = 0;
    CONFIGRET cr = CM_Get_Device_Interface_List_SizeW(&listCch, &interfaceClass, nullptr,
                                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    if (cr != CR_SUCCESS) {
        printf("Error 0x%x retrieving device interface list size.\n",
               static_cast<unsigned int>(cr));
        return;
    }
    if (listCch <= 1) {
        printf("Error: No active device interfaces found.\n Is the sample driver loaded?");
        return;
    }

    WCHAR* list = nullptr;
    if (listCch <= MAX_LIST_CCH) {
        list = static_cast<WCHAR*>(malloc(listCch * sizeof(WCHAR)));
    }
    if (list == nullptr) {
        printf("Error allocating memory for device interface list.\n");
        return;
    }
    memset(list, 0, listCch * sizeof(WCHAR));

    cr = CM_Get_Device_Interface_ListW(&interfaceClass, nullptr, list, listCch,
                                       CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    if (cr != CR_SUCCESS) {
        printf("Error 0x%x retrieving device interface list.\n", static_cast<unsigned int>(cr));
        free(list);
        return;
    }

    // Bounded by the block, so a list without its terminators is never overread:
    // an entry that runs to the block's end ends there.
    size_t firstCch = 0;
    while (firstCch < listCch && list[firstCch] != 0) {
        ++firstCch;
    }
    if (firstCch + 1 < listCch && list[firstCch + 1] != 0) {
        printf("Warning: More than one device interface instance found. \n"
               "Selecting first matching device.\n\n");
    }

    HRESULT hr = CopyDevicePath(DevicePath, DEVICE_PATH_CCH, list, firstCch);
    if (FAILED(hr)) {
        printf("Error: StringCchCopy failed with HRESULT 0x%x", static_cast<unsigned int>(hr));
        // A truncated path could name another device; leave nothing to open.
        memset(DevicePath, 0, sizeof(DevicePath));
    }
    free(list);
}
