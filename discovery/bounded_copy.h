// The copy into the device path buffer, with StringCchCopy's contract and a
// bound on the source as well.
#pragma once

#include <stddef.h>

#include "platform/platform.h"

// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) and (ERROR_INVALID_PARAMETER),
// the codes StringCchCopy answers with.
constexpr HRESULT PATH_COPY_E_INSUFFICIENT_BUFFER = static_cast<HRESULT>(0x8007007AU);
constexpr HRESULT PATH_COPY_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80070057U);

// Copies Source up to its first NUL or its first SourceCch units, whichever
// comes first, and terminates the copy. When Destination's DestinationCch units
// cannot hold it all, Destination holds the first DestinationCch - 1 units and a
// NUL and the result is PATH_COPY_E_INSUFFICIENT_BUFFER; no source unit beyond
// the DestinationCch-th is read.
HRESULT CopyDevicePath(WCHAR* Destination, size_t DestinationCch, const WCHAR* Source,
                       size_t SourceCch);
