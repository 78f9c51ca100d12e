// The INI file read and written as code page 932 bytes, so the same file gives the same settings
// under every system code page, and what one system writes another reads back byte for byte.
#include "base/ini_file.h"

#include <stdlib.h>
#include <string.h>

#include "base/wide_text.h"

enum { IniSizeMax = 1 << 20 };      // far beyond any INI of ours; a larger file is not touched

struct Line {
    size_t start, end;              // the text, without its line end
    size_t next;                    // where the next line starts
};

static int LineAt(const IniText *ini, size_t at, Line *line)
{
    if (at >= ini->length)
        return 0;
    const char *nl = (const char *)memchr(ini->bytes + at, '\n', ini->length - at);
    line->start = at;
    line->next = nl ? (size_t)(nl - ini->bytes) + 1 : ini->length;
    line->end = nl ? (size_t)(nl - ini->bytes) : ini->length;
    if (line->end > at && ini->bytes[line->end - 1] == '\r')
        line->end -= 1;
    return 1;
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// [*from, *to) without the blanks around it.
static void Trim(const char *text, size_t *from, size_t *to)
{
    while (*from < *to && IsBlank(text[*from]))
        ++*from;
    while (*to > *from && IsBlank(text[*to - 1]))
        --*to;
}

// A name of the file against one of ours, letters without case (names are ASCII).
static int SameName(const char *text, size_t length, const char *name)
{
    if (strlen(name) != length)
        return 0;
    for (size_t i = 0; i < length; ++i) {
        char a = text[i], b = name[i];
        if (a >= 'a' && a <= 'z')
            a = (char)(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z')
            b = (char)(b - 'a' + 'A');
        if (a != b)
            return 0;
    }
    return 1;
}

// The heading's name when the line is a section heading.
static int Heading(const IniText *ini, const Line *line, size_t *from, size_t *to)
{
    size_t a = line->start, b = line->end;
    Trim(ini->bytes, &a, &b);
    if (a >= b || ini->bytes[a] != '[')
        return 0;
    const char *close = (const char *)memchr(ini->bytes + a, ']', b - a);
    *from = a + 1;
    *to = close ? (size_t)(close - ini->bytes) : b;
    Trim(ini->bytes, from, to);
    return 1;
}

// The section's lines: from the one after its heading to the next heading. *lastEnd is where a
// new key goes: after its last line that is not blank (after the heading when it has none).
static int FindSection(const IniText *ini, const char *section, size_t *body, size_t *bodyEnd,
                       size_t *lastEnd)
{
    Line line;
    size_t from, to;
    int inside = 0;
    for (size_t at = 0; LineAt(ini, at, &line); at = line.next) {
        int heading = Heading(ini, &line, &from, &to);
        if (inside && heading) {
            *bodyEnd = line.start;
            return 1;
        }
        if (inside) {
            size_t a = line.start, b = line.end;
            Trim(ini->bytes, &a, &b);
            if (a < b)
                *lastEnd = line.next;
        } else if (heading && SameName(ini->bytes + from, to - from, section)) {
            inside = 1;
            *body = *lastEnd = line.next;
        }
    }
    if (inside)
        *bodyEnd = ini->length;
    return inside;
}

// The key's line in [body, bodyEnd), and where its value starts.
static int FindKey(const IniText *ini, size_t body, size_t bodyEnd, const char *key, Line *found,
                   size_t *value)
{
    Line line;
    for (size_t at = body; at < bodyEnd && LineAt(ini, at, &line); at = line.next) {
        const char *equals = (const char *)memchr(ini->bytes + line.start, '=', line.end - line.start);
        if (equals == NULL)
            continue;
        size_t a = line.start, b = (size_t)(equals - ini->bytes);
        Trim(ini->bytes, &a, &b);
        if (SameName(ini->bytes + a, b - a, key)) {
            *found = line;
            *value = (size_t)(equals - ini->bytes) + 1;
            return 1;
        }
    }
    return 0;
}

int IniValue(const IniText *ini, const char *section, const char *key, char *out, size_t size)
{
    if (size > 0)
        out[0] = '\0';
    size_t body, bodyEnd, lastEnd, value;
    Line line;
    if (!FindSection(ini, section, &body, &bodyEnd, &lastEnd) ||
        !FindKey(ini, body, bodyEnd, key, &line, &value))
        return 0;
    size_t a = value, b = line.end;
    Trim(ini->bytes, &a, &b);
    char first = a < b ? ini->bytes[a] : 0;
    if (b - a >= 2 && (first == '"' || first == '\'') && ini->bytes[b - 1] == first) {
        a += 1;
        b -= 1;
    }
    size_t used = 0;
    while (size > 0 && a + used < b) {
        size_t step = IsLeadByte932((unsigned char)ini->bytes[a + used]) && a + used + 1 < b ? 2 : 1;
        if (used + step > size - 1)
            break;
        used += step;
    }
    if (size > 0) {
        memcpy(out, ini->bytes + a, used);
        out[used] = '\0';
    }
    return 1;
}

// Replaces `removed` bytes at `at` with `added` bytes of text.
static void Splice(IniText *ini, size_t at, size_t removed, const char *text, size_t added)
{
    if (ini->failed)
        return;
    size_t length = ini->length - removed + added;
    if (length + 1 > ini->capacity) {
        size_t capacity = (length + 1) * 2;
        char *grown = (char *)realloc(ini->bytes, capacity);
        if (grown == NULL) {
            ini->failed = 1;
            return;
        }
        ini->bytes = grown;
        ini->capacity = capacity;
    }
    memmove(ini->bytes + at + added, ini->bytes + at + removed, ini->length - at - removed);
    memcpy(ini->bytes + at, text, added);
    ini->length = length;
    ini->bytes[length] = '\0';
}

static void Insert(IniText *ini, size_t at, const char *text)
{
    Splice(ini, at, 0, text, strlen(text));
}

void SetIniValue(IniText *ini, const char *section, const char *key, const char *value)
{
    size_t body, bodyEnd, lastEnd, valueAt;
    Line line;
    if (FindSection(ini, section, &body, &bodyEnd, &lastEnd)) {
        if (FindKey(ini, body, bodyEnd, key, &line, &valueAt)) {
            Splice(ini, valueAt, line.end - valueAt, value, strlen(value));
            return;
        }
        // A section that ends the file without a line end gets one before the new key.
        if (lastEnd == ini->length && lastEnd > 0 && ini->bytes[lastEnd - 1] != '\n') {
            Insert(ini, lastEnd, "\r\n");
            lastEnd = ini->length;
        }
        size_t at = lastEnd;
        Insert(ini, at, "\r\n");
        Insert(ini, at, value);
        Insert(ini, at, "=");
        Insert(ini, at, key);
        return;
    }
    if (ini->length > 0 && ini->bytes[ini->length - 1] != '\n')
        Insert(ini, ini->length, "\r\n");
    Insert(ini, ini->length, "[");
    Insert(ini, ini->length, section);
    Insert(ini, ini->length, "]\r\n");
    Insert(ini, ini->length, key);
    Insert(ini, ini->length, "=");
    Insert(ini, ini->length, value);
    Insert(ini, ini->length, "\r\n");
}

void ClearIniSection(IniText *ini, const char *section)
{
    size_t body, bodyEnd, lastEnd;
    if (!FindSection(ini, section, &body, &bodyEnd, &lastEnd))
        return;
    Line line;
    for (size_t at = body; at < bodyEnd && LineAt(ini, at, &line);) {
        if (memchr(ini->bytes + line.start, '=', line.end - line.start) != NULL) {
            Splice(ini, line.start, line.next - line.start, "", 0);
            if (ini->failed)
                return;
            bodyEnd -= line.next - line.start;
        } else {
            at = line.next;
        }
    }
}

void FreeIniText(IniText *ini)
{
    free(ini->bytes);
    ZeroMemory(ini, sizeof *ini);
}

// A file saved as UTF-8 or UTF-16 by an editor (with its byte-order mark) is read as the text it
// holds, and written back as code page 932.
static void TakeUnicodeText(IniText *ini, const char *bytes, DWORD length)
{
    WCHAR *wide = NULL;
    if (length >= 2 && (BYTE)bytes[0] == 0xFF && (BYTE)bytes[1] == 0xFE) {
        size_t units = (length - 2) / 2;
        wide = (WCHAR *)calloc(units + 1, sizeof(WCHAR));
        if (wide)
            memcpy(wide, bytes + 2, units * sizeof(WCHAR));
    } else {
        int units = MultiByteToWideChar(CP_UTF8, 0, bytes + 3, (int)length - 3, NULL, 0);
        wide = (WCHAR *)calloc((size_t)(units > 0 ? units : 0) + 1, sizeof(WCHAR));
        if (wide && units > 0)
            MultiByteToWideChar(CP_UTF8, 0, bytes + 3, (int)length - 3, wide, units);
    }
    char *text = wide ? NewText(wide) : NULL;
    free(wide);
    if (text == NULL) {
        ini->failed = 1;
        return;
    }
    Insert(ini, 0, text);
    free(text);
}

int LoadIniText(const WCHAR *path, IniText *ini)
{
    ZeroMemory(ini, sizeof *ini);
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return 0;
        return -1;
    }
    DWORD size = GetFileSize(file, NULL), got = 0;
    char *bytes = size != INVALID_FILE_SIZE && size <= IniSizeMax ? (char *)malloc(size + 1) : NULL;
    int read = bytes && ReadFile(file, bytes, size, &got, NULL) && got == size;
    DWORD error = read ? 0 : bytes ? GetLastError() : ERROR_FILE_TOO_LARGE;
    if (!read && error == 0)
        error = ERROR_READ_FAULT;
    CloseHandle(file);
    if (read) {
        int utf16 = got >= 2 && (BYTE)bytes[0] == 0xFF && (BYTE)bytes[1] == 0xFE;
        int utf8 = got >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0;
        if (utf16 || utf8)
            TakeUnicodeText(ini, bytes, got);
        else
            Splice(ini, 0, 0, bytes, got);
        if (ini->failed)
            error = ERROR_NOT_ENOUGH_MEMORY;
    }
    free(bytes);
    if (error == 0)
        return 0;
    FreeIniText(ini);
    SetLastError(error);
    return -1;
}

int SaveIniText(const WCHAR *path, const IniText *ini)
{
    if (ini->failed) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    DWORD written = 0;
    BOOL done = ini->length == 0 || WriteFile(file, ini->bytes, (DWORD)ini->length, &written, NULL);
    done = done && written == ini->length && SetEndOfFile(file);
    DWORD error = done ? 0 : GetLastError();
    CloseHandle(file);
    if (done)
        return 0;
    SetLastError(error ? error : ERROR_WRITE_FAULT);
    return -1;
}
