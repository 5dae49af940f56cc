/*
 * A stand-in for cfgmgr32.dll inside a test Wine prefix only, whose own list
 * calls are stubs. It serves the two calls cputemp makes as Windows documents
 * them, over SetupDi: the present (or all) interfaces of a class, as a list of
 * NUL-terminated paths ended by one more NUL, with lengths in WCHARs.
 */
#define WIN32_LEAN_AND_MEAN
#define _CFGMGR32_ /* we define the calls, not import them */
#include <windows.h>
/* windows.h first: the others build on its types. */
#include <cfgmgr32.h>
#include <setupapi.h>

/*
 * Walks the class's interfaces, writing the list into Buffer when it is not
 * NULL; *Needed is the list's length. Buffer is written only when it holds it.
 */
static CONFIGRET BuildList(LPGUID Class, DEVINSTID_W Device, ULONG Flags, WCHAR* Buffer,
                           ULONG BufferLen, ULONG* Needed)
{
    DWORD digcf = DIGCF_DEVICEINTERFACE;
    HDEVINFO set;
    SP_DEVICE_INTERFACE_DATA iface;
    DWORD index;
    ULONG total = 1;
    ULONG written = 0;
    CONFIGRET result = CR_SUCCESS;

    if ((Flags & ~(ULONG)CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES) != 0) {
        return CR_INVALID_FLAG;
    }
    if ((Flags & CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES) == 0) {
        digcf |= DIGCF_PRESENT;
    }
    set = SetupDiGetClassDevsW(Class, Device, NULL, digcf);
    if (set == INVALID_HANDLE_VALUE) {
        return CR_FAILURE;
    }
    iface.cbSize = sizeof(iface);
    for (index = 0; SetupDiEnumDeviceInterfaces(set, NULL, Class, index, &iface); ++index) {
        DWORD size = 0;
        SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail;
        ULONG length;
        SetupDiGetDeviceInterfaceDetailW(set, &iface, NULL, 0, &size, NULL);
        detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_W*)HeapAlloc(GetProcessHeap(), 0, size);
        if (detail == NULL) {
            result = CR_OUT_OF_MEMORY;
            break;
        }
        detail->cbSize = sizeof(*detail);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, size, NULL, NULL)) {
            HeapFree(GetProcessHeap(), 0, detail);
            result = CR_FAILURE;
            break;
        }
        length = (ULONG)lstrlenW(detail->DevicePath) + 1;
        if (Buffer != NULL && total + length <= BufferLen) {
            CopyMemory(Buffer + written, detail->DevicePath, length * sizeof(WCHAR));
            written += length;
        }
        total += length;
        HeapFree(GetProcessHeap(), 0, detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    if (result != CR_SUCCESS) {
        return result;
    }
    *Needed = total;
    if (Buffer != NULL) {
        if (BufferLen < total) {
            return CR_BUFFER_SMALL;
        }
        Buffer[written] = 0;
    }
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(PULONG pulLen, LPGUID InterfaceClassGuid,
                                                    DEVINSTID_W pDeviceID, ULONG ulFlags)
{
    if (pulLen == NULL || InterfaceClassGuid == NULL) {
        return CR_INVALID_POINTER;
    }
    *pulLen = 0;
    return BuildList(InterfaceClassGuid, pDeviceID, ulFlags, NULL, 0, pulLen);
}

CONFIGRET WINAPI CM_Get_Device_Interface_ListW(LPGUID InterfaceClassGuid, DEVINSTID_W pDeviceID,
                                               PZZWSTR Buffer, ULONG BufferLen, ULONG ulFlags)
{
    ULONG needed = 0;
    if (InterfaceClassGuid == NULL || Buffer == NULL) {
        return CR_INVALID_POINTER;
    }
    return BuildList(InterfaceClassGuid, pDeviceID, ulFlags, Buffer, BufferLen, &needed);
}
