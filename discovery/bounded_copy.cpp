#include "discovery/bounded_copy.h"

HRESULT CopyDevicePath(WCHAR* Destination, size_t DestinationCch, const WCHAR* Source,
                       size_t SourceCch)
{
    if (DestinationCch == 0) {
        return PATH_COPY_E_INVALID_PARAMETER;
    }
    size_t copied = 0;
    while (copied < DestinationCch && copied < SourceCch && Source[copied] != 0) {
        Destination[copied] = Source[copied];
        ++copied;
    }
    if (copied == DestinationCch) {
        Destination[copied - 1] = 0;
        return PATH_COPY_E_INSUFFICIENT_BUFFER;
    }
    Destination[copied] = 0;
    return S_OK;
}
