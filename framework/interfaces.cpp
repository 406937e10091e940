#include "framework/interfaces.h"

int IDependentObjects::GetDependents(CObject** out)
{
    CObject** list = DependentList();
    if (!list)
        return 0;
    int count = 0;
    for (; list[count]; ++count) {
        if (out)
            out[count] = list[count];
    }
    return count;
}
