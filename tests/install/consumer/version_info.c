/* Prints the strings of each named module's version resource as Windows reads them for
 * Explorer's Details (GetFileVersionInfo, the first translation listed), a "name: value" line
 * each; exit status 1 when a module has none. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    static const char *const names[] = {"ProductName",    "FileDescription", "OriginalFilename",
                                        "FileVersion",    "ProductVersion",  "CompanyName"};
    for (int i = 1; i < argc; ++i) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(argv[i], &ignored);
        void *data = size ? malloc(size) : NULL;
        WORD *translation = NULL;
        UINT length = 0;
        if (!data || !GetFileVersionInfoA(argv[i], 0, size, data) ||
            !VerQueryValueA(data, "\\VarFileInfo\\Translation", (void **)&translation,
                            &length) ||
            length < 2 * sizeof(WORD)) {
            printf("%s: no version resource\n", argv[i]);
            free(data);
            return 1;
        }
        printf("module: %s\n", argv[i]);
        for (size_t n = 0; n < sizeof names / sizeof names[0]; ++n) {
            char query[96];
            char *value = NULL;
            snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                     translation[1], names[n]);
            if (VerQueryValueA(data, query, (void **)&value, &length) && length)
                printf("%s: %s\n", names[n], value);
        }
        free(data);
    }
    return 0;
}
