// ImportSeam: puts a test's own function in place of one that the test
// program imports, so that a test can make a system call fail or answer as
// Windows does where Wine does not. The program's code, linked into the test
// program, calls through that import table.
#ifndef QW_IMPORTSEAM_H
#define QW_IMPORTSEAM_H

#include <windows.h>

#include <stdlib.h>
#include <string.h>

// In a GoogleTest test: a run that asks for an ANSI code page (QW_EXPECT_ACP,
// given to Wine with the locale that makes it) fails where it did not get it.
#define EXPECT_CODE_PAGE() \
    ASSERT_EQ(getenv("QW_EXPECT_ACP") ? (UINT)atoi(getenv("QW_EXPECT_ACP")) : GetACP(), GetACP())

// Puts pNew in place of the function pszName that this program imports from
// pszDll; gives the address it replaced, or null when there is no such import.
inline void *ReplaceImport(const char *pszDll, const char *pszName, void *pNew)
{
    BYTE *pBase = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *pNt = (IMAGE_NT_HEADERS *)(pBase + ((IMAGE_DOS_HEADER *)pBase)->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *pDesc = (IMAGE_IMPORT_DESCRIPTOR *)(pBase + dir.VirtualAddress);
         pDesc->Name != 0; pDesc++) {
        if (_stricmp((const char *)(pBase + pDesc->Name), pszDll) != 0)
            continue;
        IMAGE_THUNK_DATA *pNames = (IMAGE_THUNK_DATA *)(pBase + pDesc->OriginalFirstThunk);
        IMAGE_THUNK_DATA *pSlots = (IMAGE_THUNK_DATA *)(pBase + pDesc->FirstThunk);
        for (; pNames->u1.AddressOfData != 0; pNames++, pSlots++) {
            if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME *pImport = (IMAGE_IMPORT_BY_NAME *)(pBase + pNames->u1.AddressOfData);
            if (strcmp((const char *)pImport->Name, pszName) != 0)
                continue;
            DWORD dwOld;
            VirtualProtect(&pSlots->u1.Function, sizeof(pSlots->u1.Function), PAGE_READWRITE, &dwOld);
            void *pOld = (void *)pSlots->u1.Function;
            pSlots->u1.Function = (ULONG_PTR)pNew;
            VirtualProtect(&pSlots->u1.Function, sizeof(pSlots->u1.Function), dwOld, &dwOld);
            return pOld;
        }
    }
    return NULL;
}

#endif
