#include "tests/double/scripted_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "discovery/discovery.h"

extern "C" void* __real_malloc(std::size_t Size);
extern "C" void __real_free(void* Block);

namespace {

struct State {
    bool Loaded = false;
    Scenario Script;
    std::vector<std::string> Calls;
    bool AllocationsArmed = false;
    void* Block = nullptr;
    void* Mapping = nullptr;
    std::size_t MappingSize = 0;
    DWORD LastError = ERROR_SUCCESS;
};

State& TheState()
{
    static State state;
    return state;
}

// The child process takes its script from the environment on first use.
Scenario& Script()
{
    State& state = TheState();
    if (!state.Loaded) {
        state.Loaded = true;
        if (const char* path = getenv("CPUTEMP_SCENARIO")) {
            if (!LoadScenario(path, &state.Script)) {
                fprintf(stderr, "scripted platform: cannot read scenario %s\n", path);
                abort();
            }
            state.AllocationsArmed = true;
        }
    }
    return state.Script;
}

void Record(const std::string& Line)
{
    TheState().Calls.push_back(Line);
    if (const char* path = getenv("CPUTEMP_CALL_LOG")) {
        const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const std::string text = Line + "\n";
            if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
                abort();
            }
            close(fd);
        }
    }
}

std::string Hex(unsigned long long Value)
{
    char text[32];
    snprintf(text, sizeof(text), "0x%llx", Value);
    return text;
}

std::string ClassName(const GUID* Class)
{
    if (Class == nullptr) {
        return "null";
    }
    return memcmp(Class, &CpuThermalInterfaceGuid, sizeof(GUID)) == 0 ? "thermal" : "other";
}

std::string Pointer(const void* P)
{
    return P == nullptr ? "null" : "set";
}

std::string BlockName(const void* P)
{
    if (P == nullptr) {
        return "null";
    }
    return P == TheState().Block ? "block" : "other";
}

bool AllZero(const void* Bytes, std::size_t Count)
{
    const auto* p = static_cast<const unsigned char*>(Bytes);
    for (std::size_t i = 0; i < Count; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

std::string Contents(const void* Bytes, std::size_t Count)
{
    if (Bytes == nullptr) {
        return "null";
    }
    return std::string(AllZero(Bytes, Count) ? "zeros[" : "bytes[") + std::to_string(Count) + "]";
}

// The path as the device path buffer can hold it; ASCII shown as is.
std::string PathText(LPCWSTR Path)
{
    if (Path == nullptr) {
        return "null";
    }
    std::string text = "\"";
    for (std::size_t i = 0; i < DEVICE_PATH_CCH; ++i) {
        if (Path[i] == 0) {
            return text + "\"";
        }
        if (Path[i] >= 0x20 && Path[i] < 0x7F) {
            text += static_cast<char>(Path[i]);
        } else {
            text += "\\u" + Hex(Path[i]).substr(2);
        }
    }
    return text + "...(unterminated)";
}

// The block ends where an inaccessible page begins, so that reading or writing
// one unit past it faults at once.
void* GuardedBlock(std::size_t Size)
{
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t dataPages = (Size + page - 1) / page;
    const std::size_t mappingSize = (dataPages + 1) * page;
    void* mapping =
        mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        return nullptr;
    }
    auto* base = static_cast<unsigned char*>(mapping);
    if (mprotect(base + dataPages * page, page, PROT_NONE) != 0) {
        munmap(mapping, mappingSize);
        return nullptr;
    }
    State& state = TheState();
    state.Mapping = mapping;
    state.MappingSize = mappingSize;
    // Fresh memory is not zero in general; make a missing memset show.
    void* block = base + dataPages * page - Size;
    memset(block, 0xA5, Size);
    return block;
}

} // namespace

Scenario ScenarioWithList(const std::u16string& List)
{
    Scenario s;
    s.SizeLength = static_cast<ULONG>(List.size());
    s.ListUnits = List;
    return s;
}

void SetScenario(const Scenario& S)
{
    State& state = TheState();
    state.Loaded = true;
    state.Script = S;
    state.Calls.clear();
    state.Block = nullptr;
    state.LastError = ERROR_SUCCESS;
}

const std::vector<std::string>& RecordedCalls()
{
    return TheState().Calls;
}

void ArmAllocationRecording(bool Armed)
{
    TheState().AllocationsArmed = Armed;
}

HANDLE ScriptedDeviceHandle()
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x7E57));
}

bool SaveScenario(const Scenario& S, const std::string& Path)
{
    std::ofstream out(Path);
    out << "size_result " << S.SizeResult << "\nsize_length " << S.SizeLength << "\nlist_result "
        << S.ListResult << "\nmalloc_fails " << S.MallocFails << "\nmalloc_limit " << S.MallocLimit
        << "\nopen_fails " << S.OpenFails << "\nopen_error " << S.OpenError << "\nrequest_result "
        << S.RequestResult << "\nreading_bytes " << S.ReadingBytesWritten << "\nreading "
        << S.Reading << "\nrequest_error " << S.RequestError << "\nclose_result " << S.CloseResult
        << "\nlist_units";
    for (char16_t unit : S.ListUnits) {
        out << ' ' << static_cast<unsigned int>(unit);
    }
    out << '\n';
    return static_cast<bool>(out);
}

bool LoadScenario(const std::string& Path, Scenario* S)
{
    std::ifstream in(Path);
    std::string key;
    while (in >> key) {
        if (key == "list_units") {
            std::string rest;
            std::getline(in, rest);
            std::istringstream units(rest);
            unsigned int unit = 0;
            while (units >> unit) {
                S->ListUnits.push_back(static_cast<char16_t>(unit));
            }
            continue;
        }
        unsigned long long value = 0;
        if (!(in >> value)) {
            return false;
        }
        const auto u32 = static_cast<std::uint32_t>(value);
        if (key == "size_result")
            S->SizeResult = u32;
        else if (key == "size_length")
            S->SizeLength = u32;
        else if (key == "list_result")
            S->ListResult = u32;
        else if (key == "malloc_fails")
            S->MallocFails = value != 0;
        else if (key == "malloc_limit")
            S->MallocLimit = static_cast<std::size_t>(value);
        else if (key == "open_fails")
            S->OpenFails = value != 0;
        else if (key == "open_error")
            S->OpenError = u32;
        else if (key == "request_result")
            S->RequestResult = static_cast<BOOL>(value);
        else if (key == "reading_bytes")
            S->ReadingBytesWritten = u32;
        else if (key == "reading")
            S->Reading = u32;
        else if (key == "request_error")
            S->RequestError = u32;
        else if (key == "close_result")
            S->CloseResult = static_cast<BOOL>(value);
        else
            return false;
    }
    return in.eof();
}

extern "C" void* __wrap_malloc(std::size_t Size)
{
    State& state = TheState();
    if (!state.AllocationsArmed) {
        return __real_malloc(Size);
    }
    const Scenario& script = Script();
    Record("malloc(" + std::to_string(Size) + ")");
    const bool refused =
        script.MallocFails || Size == 0 || (script.MallocLimit != 0 && Size > script.MallocLimit);
    void* block = refused ? nullptr : GuardedBlock(Size);
    state.Block = block;
    return block;
}

extern "C" void __wrap_free(void* Block)
{
    State& state = TheState();
    if (!state.AllocationsArmed) {
        __real_free(Block);
        return;
    }
    Record("free(" + BlockName(Block) + ")");
    if (Block != nullptr && Block == state.Block && state.Mapping != nullptr) {
        munmap(state.Mapping, state.MappingSize);
        state.Mapping = nullptr; // a second free is recorded, not repeated
    } else if (Block != state.Block) {
        __real_free(Block);
    }
}

CONFIGRET CM_Get_Device_Interface_List_SizeW(PULONG pulLen, LPGUID InterfaceClassGuid,
                                             DEVINSTID_W pDeviceID, ULONG ulFlags)
{
    const Scenario& script = Script();
    Record("CM_Get_Device_Interface_List_SizeW(len=" +
           (pulLen == nullptr ? std::string("null") : std::to_string(*pulLen)) +
           ", class=" + ClassName(InterfaceClassGuid) + ", device=" + Pointer(pDeviceID) +
           ", flags=" + Hex(ulFlags) + ")");
    if (pulLen != nullptr) {
        *pulLen = script.SizeLength;
    }
    return script.SizeResult;
}

CONFIGRET CM_Get_Device_Interface_ListW(LPGUID InterfaceClassGuid, DEVINSTID_W pDeviceID,
                                        PZZWSTR Buffer, ULONG BufferLen, ULONG ulFlags)
{
    const Scenario& script = Script();
    const bool zeroed = Buffer != nullptr && AllZero(Buffer, BufferLen * sizeof(WCHAR));
    Record("CM_Get_Device_Interface_ListW(class=" + ClassName(InterfaceClassGuid) + ", device=" +
           Pointer(pDeviceID) + ", buffer=" + BlockName(Buffer) + (zeroed ? " zeroed" : " dirty") +
           ", len=" + std::to_string(BufferLen) + ", flags=" + Hex(ulFlags) + ")");
    if (Buffer != nullptr) {
        const std::size_t count = std::min<std::size_t>(script.ListUnits.size(), BufferLen);
        memcpy(Buffer, script.ListUnits.data(), count * sizeof(WCHAR));
    }
    return script.ListResult;
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    const Scenario& script = Script();
    Record("CreateFileW(path=" + PathText(lpFileName) + ", access=" + Hex(dwDesiredAccess) +
           ", share=" + Hex(dwShareMode) + ", security=" + Pointer(lpSecurityAttributes) +
           ", disposition=" + std::to_string(dwCreationDisposition) +
           ", flags=" + Hex(dwFlagsAndAttributes) + ", template=" + Pointer(hTemplateFile) + ")");
    // The platform refuses an empty path, whatever the script says.
    if (lpFileName == nullptr || lpFileName[0] == 0) {
        TheState().LastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (script.OpenFails) {
        TheState().LastError = script.OpenError;
        return INVALID_HANDLE_VALUE;
    }
    return ScriptedDeviceHandle();
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped)
{
    const Scenario& script = Script();
    Record(std::string("DeviceIoControl(handle=") +
           (hDevice == ScriptedDeviceHandle() ? "device" : "other") +
           ", code=" + Hex(dwIoControlCode) + ", in=" + Contents(lpInBuffer, nInBufferSize) +
           ", out=" + Contents(lpOutBuffer, nOutBufferSize) + ", returned=" +
           Pointer(lpBytesReturned) + ", overlapped=" + Pointer(lpOverlapped) + ")");
    if (lpOutBuffer != nullptr) {
        const std::size_t count =
            std::min<std::size_t>({script.ReadingBytesWritten, sizeof(ULONG), nOutBufferSize});
        memcpy(lpOutBuffer, &script.Reading, count);
    }
    if (lpBytesReturned != nullptr) {
        *lpBytesReturned = script.ReadingBytesWritten;
    }
    if (!script.RequestResult) {
        TheState().LastError = script.RequestError;
    }
    return script.RequestResult;
}

DWORD GetLastError(void)
{
    Record("GetLastError()");
    return TheState().LastError;
}

BOOL CloseHandle(HANDLE hObject)
{
    const Scenario& script = Script();
    Record(std::string("CloseHandle(handle=") +
           (hObject == ScriptedDeviceHandle() ? "device" : "other") + ")");
    return script.CloseResult;
}
