// HeapOperators: new and delete of qwconfig.exe, straight on the C runtime's
// heap. The program's own code is compiled without exceptions, so nothing
// could catch a failed allocation: it ends the program, as the standard
// library's uncaught bad_alloc would. Replacing the library's operators keeps
// its exception machinery (throw, personality routine, terminate handler and
// the printf layer that handler uses) out of the program. Linked only into the
// program; the test programs keep the standard library's operators.
#include <stdlib.h>

void *operator new(size_t cb)
{
    void *pv = malloc(cb != 0 ? cb : 1);
    if (pv == NULL)
        abort();
    return pv;
}

void *operator new[](size_t cb)
{
    return operator new(cb);
}

void operator delete(void *pv) noexcept
{
    free(pv);
}

void operator delete[](void *pv) noexcept
{
    free(pv);
}

void operator delete(void *pv, size_t) noexcept
{
    free(pv);
}

void operator delete[](void *pv, size_t) noexcept
{
    free(pv);
}
