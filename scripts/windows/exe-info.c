/* What Windows itself reads from a program file, as "key: value" lines:
 * its version resource, its manifest's settings and supported systems, and
 * its icons. The Wine test runs it on brimlet.exe; Python's pefile reads the
 * same resources from the file without Windows' help (pe-resources.py).
 *   exe-info.exe <program.exe>
 * Built by scripts/windows/test.sh: x86_64-w64-mingw32-gcc -municode ... -lversion -lshell32 -lgdi32
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>

static void print_utf8(const char *key, const wchar_t *value)
{
    char text[1024];
    if (!WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, NULL, NULL))
        text[0] = 0;
    printf("%s: %s\n", key, text);
}

static void version_resource(const wchar_t *path)
{
    DWORD ignored;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (!size) {
        printf("version-resource: none\n");
        return;
    }
    void *data = malloc(size);
    if (!GetFileVersionInfoW(path, 0, size, data)) {
        printf("version-resource: unreadable\n");
        free(data);
        return;
    }
    VS_FIXEDFILEINFO *fixed;
    UINT length;
    if (VerQueryValueW(data, L"\\", (void **)&fixed, &length) && length >= sizeof *fixed) {
        printf("fixed-file-version: %u.%u.%u.%u\n",
               HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
               HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        printf("fixed-product-version: %u.%u.%u.%u\n",
               HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
               HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    }
    /* The first language the resource lists, as Explorer's Details tab reads it. */
    struct { WORD language, codepage; } *translation;
    if (!VerQueryValueW(data, L"\\VarFileInfo\\Translation", (void **)&translation, &length) || length < 4) {
        printf("translation: none\n");
        free(data);
        return;
    }
    printf("translation: %04x %u\n", translation->language, translation->codepage);
    static const wchar_t *const names[] = {
        L"ProductName", L"FileDescription", L"FileVersion", L"ProductVersion",
        L"CompanyName", L"OriginalFilename",
    };
    for (size_t i = 0; i < sizeof names / sizeof *names; ++i) {
        wchar_t query[128];
        swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                 translation->codepage, names[i]);
        wchar_t *value;
        char key[64];
        WideCharToMultiByte(CP_UTF8, 0, names[i], -1, key, sizeof key, NULL, NULL);
        if (VerQueryValueW(data, query, (void **)&value, &length) && length)
            print_utf8(key, value);
        else
            printf("%s: (none)\n", key);
    }
    free(data);
}

static void manifest_setting(HANDLE context, const wchar_t *ns, const wchar_t *name)
{
    wchar_t value[256];
    SIZE_T written = 0;
    char key[64];
    WideCharToMultiByte(CP_UTF8, 0, name, -1, key, sizeof key, NULL, NULL);
    if (QueryActCtxSettingsW(0, context, ns, name, value, 256, &written))
        print_utf8(key, value);
    else
        printf("%s: (none)\n", key);
}

static void manifest(const wchar_t *path)
{
    ACTCTXW request;
    ZeroMemory(&request, sizeof request);
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path;
    request.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE context = CreateActCtxW(&request);
    if (context == INVALID_HANDLE_VALUE) {
        printf("manifest: none (error %lu)\n", GetLastError());
        return;
    }
    printf("manifest: read\n");
    manifest_setting(context, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware");
    manifest_setting(context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness");
    manifest_setting(context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"longPathAware");

    /* The systems it says it was made for. The elements are laid out as
     * today's Windows (and Wine) fill them, with MaxVersionTested, which
     * MinGW's older declaration lacks. */
    struct element { GUID id; DWORD type; ULONGLONG max_version_tested; };
    struct compatibility { DWORD count; struct element elements[]; };
    union { struct compatibility info; char bytes[4096]; } buffer;
    SIZE_T needed = 0;
    if (QueryActCtxW(0, context, NULL, CompatibilityInformationInActivationContext,
                     &buffer, sizeof buffer, &needed)) {
        for (DWORD i = 0; i < buffer.info.count; ++i) {
            const struct element *element = &buffer.info.elements[i];
            if (element->type != ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS)
                continue;
            const GUID *g = &element->id;
            printf("supportedOS: {%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}\n",
                   g->Data1, g->Data2, g->Data3, g->Data4[0], g->Data4[1], g->Data4[2],
                   g->Data4[3], g->Data4[4], g->Data4[5], g->Data4[6], g->Data4[7]);
        }
    } else {
        printf("supportedOS: (unreadable, error %lu)\n", GetLastError());
    }
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level;
    if (QueryActCtxW(0, context, NULL, RunlevelInformationInActivationContext,
                     &level, sizeof level, &needed)) {
        static const char *const levels[] = { "unspecified", "asInvoker", "highestAvailable", "requireAdministrator" };
        printf("requestedExecutionLevel: %s\n",
               level.RunLevel < 4 ? levels[level.RunLevel] : "unknown");
    } else {
        printf("requestedExecutionLevel: (unreadable, error %lu)\n", GetLastError());
    }
    ReleaseActCtx(context);
}

static void icons(const wchar_t *path)
{
    printf("icons: %u\n", ExtractIconExW(path, -1, NULL, NULL, 0));
    /* The first icon as the shell asks for it at two of its sizes. */
    static const int sizes[] = { 32, 256 };
    for (size_t i = 0; i < sizeof sizes / sizeof *sizes; ++i) {
        HICON icon = NULL;
        UINT id;
        UINT got = PrivateExtractIconsW(path, 0, sizes[i], sizes[i], &icon, &id, 1, 0);
        ICONINFO info;
        BITMAP bitmap = { 0 };
        if (got == 1 && icon && GetIconInfo(icon, &info)) {
            GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
            printf("icon-%d: %ldx%ld\n", sizes[i], bitmap.bmWidth, bitmap.bmHeight);
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
        } else {
            printf("icon-%d: (none)\n", sizes[i]);
        }
        if (icon) DestroyIcon(icon);
    }
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: exe-info <program.exe>\n");
        return 2;
    }
    version_resource(argv[1]);
    manifest(argv[1]);
    icons(argv[1]);
    return 0;
}
