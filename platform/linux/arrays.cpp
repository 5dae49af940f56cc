// Numbers in a malloc'd array that grows: the zones, channels and chips a
// scan finds, however many a machine has.
#include "platform/linux/thermal.h"

void AddNumber(Numbers* Set, unsigned long long Number)
{
    unsigned long long* added =
        Set->Exhausted ? nullptr : AddItem(&Set->Items, &Set->Count, &Set->Capacity);
    if (added == nullptr) {
        Set->Exhausted = true;
        return;
    }
    *added = Number;
}

void FreeNumbers(Numbers* Set)
{
    free(Set->Items);
    *Set = Numbers{};
}
