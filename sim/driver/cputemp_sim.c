/*
 * cputemp_sim: a simulated CPU thermal driver, for trying cputemp without the
 * hardware and for running its Windows build against a real I/O manager.
 *
 * At start it does, for each interface of the CPU thermal class registered in
 * the registry, what the PnP manager does when a driver enables an interface:
 * it links the interface's name to the device and marks the interface linked,
 * so that it is listed as present. Unload undoes both. The thermal read request
 * is answered from the service key's Parameters, read afresh at every request:
 *   Reading     REG_DWORD  tenths of a kelvin (default 3181, that is 45 C)
 *   FailStatus  REG_DWORD  an NTSTATUS to fail the request with (default 0: answer)
 * and every device control request that reaches the driver is counted in
 *   Requests    REG_DWORD
 */
#include <ntddk.h>

#ifndef IOCTL_THERMAL_READ_TEMPERATURE
#define IOCTL_THERMAL_READ_TEMPERATURE                                                             \
    CTL_CODE(FILE_DEVICE_BATTERY, 0x24, METHOD_BUFFERED, FILE_READ_ACCESS)
#endif

/*
 * The I/O manager's layout of a request, as the kernel-mode headers give it. A
 * driver built on a wrong one (mingw-w64 10's, on ARM64) reads every request at
 * the wrong offsets and fails it as an unknown code, with no warning: stop the
 * build instead.
 */
_Static_assert(sizeof(IO_STACK_LOCATION) == (sizeof(void*) == 8 ? 72 : 36),
               "IO_STACK_LOCATION is laid out for another architecture");
_Static_assert(FIELD_OFFSET(IO_STACK_LOCATION, Parameters.DeviceIoControl.IoControlCode) ==
                   (sizeof(void*) == 8 ? 24 : 12),
               "the control code is not where the I/O manager puts it");

/* THERMAL_WAIT_READ: three ULONGs, the request cputemp sends (all zeros). */
#define SIM_REQUEST_SIZE (3 * sizeof(ULONG))
#define SIM_DEFAULT_READING 3181
#define SIM_MAX_LINKS 16
#define SIM_PATH_CCH 512

static const WCHAR DeviceNameText[] = L"\\Device\\CpuTempSim";
static const WCHAR ClassKeyText[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\"
                                    L"DeviceClasses\\{c5a3f341-e8a3-4579-9e09-db61b3a39c1e}";

typedef struct SIM_PATH {
    WCHAR Text[SIM_PATH_CCH];
    SIZE_T Length; /* in WCHARs, without the NUL */
} SIM_PATH;

typedef struct SIM_STATE {
    WCHAR ParametersText[SIM_PATH_CCH]; /* <service key>\Parameters */
    ULONG LinkCount;
    SIM_PATH Links[SIM_MAX_LINKS];         /* \??\<interface name> */
    SIM_PATH InterfaceKeys[SIM_MAX_LINKS]; /* their keys under the class key */
} SIM_STATE;

/* What start set up, for unload to take down. */
static SIM_STATE State;

static BOOLEAN Append(SIM_PATH* Path, const WCHAR* Text, SIZE_T Count)
{
    if (Count >= SIM_PATH_CCH - Path->Length) {
        return FALSE;
    }
    RtlCopyMemory(Path->Text + Path->Length, Text, Count * sizeof(WCHAR));
    Path->Length += Count;
    Path->Text[Path->Length] = 0;
    return TRUE;
}

static BOOLEAN AppendText(SIM_PATH* Path, const WCHAR* Text)
{
    return Append(Path, Text, wcslen(Text));
}

static void AsUnicode(UNICODE_STRING* Out, SIM_PATH* Path)
{
    Out->Buffer = Path->Text;
    Out->Length = (USHORT)(Path->Length * sizeof(WCHAR));
    Out->MaximumLength = (USHORT)(Out->Length + sizeof(WCHAR));
}

static NTSTATUS OpenKey(HANDLE* Key, SIM_PATH* Path, ACCESS_MASK Access, BOOLEAN Create)
{
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    AsUnicode(&name, Path);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                               NULL);
    return Create ? ZwCreateKey(Key, Access, &attributes, 0, NULL, REG_OPTION_NON_VOLATILE, NULL)
                  : ZwOpenKey(Key, Access, &attributes);
}

static ULONG QueryDword(HANDLE Key, const WCHAR* Name, ULONG Default)
{
    ULONG buffer[(sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)) / sizeof(ULONG) + 1];
    KEY_VALUE_PARTIAL_INFORMATION* info = (KEY_VALUE_PARTIAL_INFORMATION*)buffer;
    UNICODE_STRING name;
    ULONG got = 0;
    ULONG value = Default;
    RtlInitUnicodeString(&name, Name);
    if (NT_SUCCESS(
            ZwQueryValueKey(Key, &name, KeyValuePartialInformation, info, sizeof(buffer), &got)) &&
        info->Type == REG_DWORD && info->DataLength == sizeof(ULONG)) {
        RtlCopyMemory(&value, info->Data, sizeof(value));
    }
    return value;
}

static void SetDword(HANDLE Key, const WCHAR* Name, ULONG Value)
{
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, Name);
    ZwSetValueKey(Key, &name, 0, REG_DWORD, &Value, sizeof(Value));
}

/* The Index-th subkey of Key, appended to Path after a backslash. */
static NTSTATUS AppendSubkey(HANDLE Key, ULONG Index, SIM_PATH* Path)
{
    ULONG buffer[(sizeof(KEY_BASIC_INFORMATION) + SIM_PATH_CCH * sizeof(WCHAR)) / sizeof(ULONG)];
    KEY_BASIC_INFORMATION* info = (KEY_BASIC_INFORMATION*)buffer;
    ULONG got = 0;
    NTSTATUS status = ZwEnumerateKey(Key, Index, KeyBasicInformation, info, sizeof(buffer), &got);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (!AppendText(Path, L"\\") || !Append(Path, info->Name, info->NameLength / sizeof(WCHAR))) {
        return STATUS_NAME_TOO_LONG;
    }
    return STATUS_SUCCESS;
}

/* Sets Control\Linked in each reference-string key ("#...") of an interface. */
static void MarkLinked(SIM_PATH* InterfaceKey, ULONG Linked)
{
    HANDLE key;
    ULONG i;
    if (!NT_SUCCESS(OpenKey(&key, InterfaceKey, KEY_READ, FALSE))) {
        return;
    }
    for (i = 0;; ++i) {
        SIM_PATH control = *InterfaceKey;
        HANDLE controlKey;
        NTSTATUS status = AppendSubkey(key, i, &control);
        if (status == STATUS_NO_MORE_ENTRIES || status == STATUS_INVALID_PARAMETER) {
            break;
        }
        if (!NT_SUCCESS(status) || control.Text[InterfaceKey->Length + 1] != L'#' ||
            !AppendText(&control, L"\\Control")) {
            continue;
        }
        if (NT_SUCCESS(OpenKey(&controlKey, &control, KEY_WRITE, TRUE))) {
            SetDword(controlKey, L"Linked", Linked);
            ZwClose(controlKey);
        }
    }
    ZwClose(key);
}

/*
 * Interface keys are named after the interface's path with "\\?\" written as
 * "##?#"; the link name is \??\ and the rest of that name.
 */
static void LinkInterfaces(UNICODE_STRING* DeviceName)
{
    SIM_PATH classPath = {{0}, 0};
    HANDLE classKey;
    ULONG i;
    AppendText(&classPath, ClassKeyText);
    if (!NT_SUCCESS(OpenKey(&classKey, &classPath, KEY_READ, FALSE))) {
        return;
    }
    for (i = 0; State.LinkCount < SIM_MAX_LINKS; ++i) {
        SIM_PATH* interfaceKey = &State.InterfaceKeys[State.LinkCount];
        SIM_PATH* link = &State.Links[State.LinkCount];
        UNICODE_STRING linkName;
        const WCHAR* name;
        NTSTATUS status;
        *interfaceKey = classPath;
        status = AppendSubkey(classKey, i, interfaceKey);
        if (status == STATUS_NO_MORE_ENTRIES || status == STATUS_INVALID_PARAMETER) {
            break;
        }
        name = interfaceKey->Text + classPath.Length + 1;
        link->Length = 0;
        if (!NT_SUCCESS(status) || wcsncmp(name, L"##?#", 4) != 0 || !AppendText(link, L"\\??\\") ||
            !AppendText(link, name + 4)) {
            continue;
        }
        AsUnicode(&linkName, link);
        if (NT_SUCCESS(IoCreateSymbolicLink(&linkName, DeviceName))) {
            MarkLinked(interfaceKey, 1);
            ++State.LinkCount;
        }
    }
    ZwClose(classKey);
}

static void UnlinkInterfaces(void)
{
    while (State.LinkCount > 0) {
        UNICODE_STRING linkName;
        --State.LinkCount;
        AsUnicode(&linkName, &State.Links[State.LinkCount]);
        IoDeleteSymbolicLink(&linkName);
        MarkLinked(&State.InterfaceKeys[State.LinkCount], 0);
    }
}

static NTSTATUS Complete(PIRP Irp, NTSTATUS Status, ULONG_PTR Information)
{
    Irp->IoStatus.Status = Status;
    Irp->IoStatus.Information = Information;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return Status;
}

static NTSTATUS DispatchCreateClose(PDEVICE_OBJECT Device, PIRP Irp)
{
    UNREFERENCED_PARAMETER(Device);
    return Complete(Irp, STATUS_SUCCESS, 0);
}

/* Buffered I/O: only a successful request writes the system buffer back. */
static NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT Device, PIRP Irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    SIM_PATH parameters = {{0}, 0};
    HANDLE key;
    ULONG reading = SIM_DEFAULT_READING;
    NTSTATUS failure = STATUS_SUCCESS;
    UNREFERENCED_PARAMETER(Device);

    AppendText(&parameters, State.ParametersText);
    if (NT_SUCCESS(OpenKey(&key, &parameters, KEY_READ | KEY_WRITE, TRUE))) {
        SetDword(key, L"Requests", QueryDword(key, L"Requests", 0) + 1);
        reading = QueryDword(key, L"Reading", SIM_DEFAULT_READING);
        failure = (NTSTATUS)QueryDword(key, L"FailStatus", 0);
        ZwClose(key);
    }
    if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_THERMAL_READ_TEMPERATURE) {
        return Complete(Irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    if (stack->Parameters.DeviceIoControl.InputBufferLength < SIM_REQUEST_SIZE) {
        return Complete(Irp, STATUS_INVALID_PARAMETER, 0);
    }
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG)) {
        return Complete(Irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    if (failure != STATUS_SUCCESS) {
        return Complete(Irp, failure, 0);
    }
    RtlCopyMemory(Irp->AssociatedIrp.SystemBuffer, &reading, sizeof(reading));
    return Complete(Irp, STATUS_SUCCESS, sizeof(reading));
}

static void DriverUnload(PDRIVER_OBJECT Driver)
{
    UnlinkInterfaces();
    if (Driver->DeviceObject != NULL) {
        IoDeleteDevice(Driver->DeviceObject);
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT Driver, PUNICODE_STRING RegistryPath)
{
    UNICODE_STRING deviceName;
    PDEVICE_OBJECT device = NULL;
    SIM_PATH parameters = {{0}, 0};
    NTSTATUS status;

    if (!Append(&parameters, RegistryPath->Buffer, RegistryPath->Length / sizeof(WCHAR)) ||
        !AppendText(&parameters, L"\\Parameters")) {
        return STATUS_NAME_TOO_LONG;
    }
    RtlCopyMemory(State.ParametersText, parameters.Text, sizeof(parameters.Text));
    State.LinkCount = 0;

    RtlInitUnicodeString(&deviceName, DeviceNameText);
    status = IoCreateDevice(Driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN,
                            FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~(ULONG)DO_DEVICE_INITIALIZING;

    Driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    Driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    Driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCreateClose;
    Driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    Driver->DriverUnload = DriverUnload;

    LinkInterfaces(&deviceName);
    return STATUS_SUCCESS;
}
