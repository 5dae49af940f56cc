// A scripted stand-in for the platform: each operation answers from a scenario
// and every call is recorded, rendered as one line with the arguments that
// matter, so that tests compare whole call sequences.
//
// In a test process, set the scenario with SetScenario. In a child process
// (cputemp linked with this double), the scenario is read from the file named by
// CPUTEMP_SCENARIO and each call is appended to the file named by CPUTEMP_CALL_LOG.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/win_codes.h"

struct Scenario {
    CONFIGRET SizeResult = CR_SUCCESS;
    ULONG SizeLength = 0;
    CONFIGRET ListResult = CR_SUCCESS;
    // Written into the caller's block, cut at the length the caller passed.
    std::u16string ListUnits;
    bool MallocFails = false;
    // Blocks above this many bytes are refused, as a 32-bit allocator refuses
    // 2 GiB; 0 is no limit.
    std::size_t MallocLimit = 0;

    bool OpenFails = false;
    DWORD OpenError = ERROR_FILE_NOT_FOUND;

    BOOL RequestResult = TRUE;
    // Bytes of Reading written into the caller's output, from its low end.
    DWORD ReadingBytesWritten = 4;
    ULONG Reading = 3181;
    DWORD RequestError = ERROR_SUCCESS;

    BOOL CloseResult = TRUE;
};

// A scenario whose size and list queries report List (terminators included).
Scenario ScenarioWithList(const std::u16string& List);

void SetScenario(const Scenario& S);
const std::vector<std::string>& RecordedCalls();

// malloc and free are recorded only while armed, so that the test framework's
// own allocations stay out of the record.
void ArmAllocationRecording(bool Armed);

bool SaveScenario(const Scenario& S, const std::string& Path);
bool LoadScenario(const std::string& Path, Scenario* S);

// The handle CreateFileW hands out.
HANDLE ScriptedDeviceHandle();
