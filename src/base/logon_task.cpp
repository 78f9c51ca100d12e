// The logon task that starts this program elevated when its user logs on, one per user, through the
// Task Scheduler 2.0 interface: registered from XML text, which every version reads the same way.
#include "base/logon_task.h"

#include <sddl.h>
#include <shlobj.h>
#include <taskschd.h>
#include <stdio.h>
#include <string.h>

#include "base/command_result.h"
#include "base/elevation.h"
#include "base/exit_codes.h"

WCHAR TaskExePath[MAX_PATH] = L"";

// Each user's task has a name of its own, the program's and the user's SID; 0.22 named one task
// for everyone by the program alone.
static const WCHAR LegacyTaskName[] = L"vellmarin";
static const WCHAR RootFolder[] = L"\\";
enum { XmlSize = 8192, UserNameSize = 512, SidTextSize = 192, TaskNameSize = 256 };

// This process's user, as the task names it: DOMAIN\user, and the SID's text.
struct TaskUser {
    WCHAR name[UserNameSize];
    WCHAR sid[SidTextSize];
};

// The exe the task is about, in its long form (a task must never name a short 8.3 alias), taken
// in UTF-16 so a folder named in any script is named right.
static int TaskExe(WCHAR *path, size_t count)
{
    if (TaskExePath[0]) {
        wcsncpy(path, TaskExePath, count - 1);
        path[count - 1] = L'\0';
        return 0;
    }
    WCHAR module[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return -1;
    length = GetLongPathNameW(module, path, (DWORD)count);
    if (length == 0 || length >= count) {
        wcsncpy(path, module, count - 1);
        path[count - 1] = L'\0';
    }
    return 0;
}

static WCHAR FoldCase(WCHAR c)
{
    return (c >= L'a' && c <= L'z') ? (WCHAR)(c - L'a' + L'A') : c;
}

// One step of a path below the folder: characters a name may hold, and not only dots and
// spaces (".", ".." and their look-alikes, which Windows folds to a parent or the folder itself).
static int PlainStep(const WCHAR *step, const WCHAR *end)
{
    int plain = 0;
    for (const WCHAR *p = step; p < end; ++p) {
        if (*p < 0x20 || wcschr(L"/:*?\"<>|", *p))
            return 0;
        if (*p != L'.' && *p != L' ')
            plain = 1;
    }
    return plain;
}

int PathInsideFolder(const WCHAR *path, const WCHAR *folder)
{
    // The folder without a closing separator.
    size_t folderLength = wcslen(folder);
    if (folderLength > 0 && folder[folderLength - 1] == L'\\')
        folderLength -= 1;
    if (folderLength == 0)
        return 0;
    // Letters outside ASCII must match exactly: the file system's own folding is not ours to copy.
    for (size_t i = 0; i < folderLength; ++i) {
        if (FoldCase(path[i]) != FoldCase(folder[i]))
            return 0;
    }
    const WCHAR *p = path + folderLength;
    if (*p != L'\\')
        return 0;
    // Then one or more steps, the last one the file.
    const WCHAR *step = p + 1;
    for (const WCHAR *q = step;; ++q) {
        if (*q == L'\\' || *q == L'\0') {
            if (q == step || !PlainStep(step, q))
                return 0;
            if (*q == L'\0')
                return 1;
            step = q + 1;
        }
    }
}

// The Program Files folders of this Windows: the one for programs of this process's kind, the
// 32-bit one, and on 64-bit Windows the 64-bit one, which a 32-bit process is otherwise shown
// as its 32-bit twin. All come from the machine's part of the registry, which only
// administrators can change (the environment's copies can be set by any user).
static int ProgramFilesFolder(int index, WCHAR *folder, DWORD count)
{
    folder[0] = L'\0';
    if (index < 2) {
        int which = index == 0 ? CSIDL_PROGRAM_FILES : CSIDL_PROGRAM_FILESX86;
        WCHAR found[MAX_PATH];
        if (SHGetFolderPathW(NULL, which, NULL, SHGFP_TYPE_CURRENT, found) != S_OK)
            return -1;
        wcsncpy(folder, found, count - 1);
        folder[count - 1] = L'\0';
        return 0;
    }
    const REGSAM Wow64View64 = 0x0100;     // KEY_WOW64_64KEY, ignored where there is one view
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | Wow64View64, &key) != ERROR_SUCCESS)
        return -1;
    DWORD type = 0, bytes = (count - 1) * sizeof(WCHAR);
    LONG read = RegQueryValueExW(key, L"ProgramW6432Dir", NULL, &type, (BYTE *)folder, &bytes);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) {
        folder[0] = L'\0';
        return -1;
    }
    DWORD units = bytes / sizeof(WCHAR);
    folder[units < count ? units : count - 1] = L'\0';
    return 0;
}

int ExeMayBeTaskTarget(void)
{
    WCHAR exe[MAX_PATH];
    if (TaskExe(exe, MAX_PATH) != 0)
        return 0;
    for (int index = 0; index < 3; index++) {
        WCHAR folder[MAX_PATH];
        if (ProgramFilesFolder(index, folder, MAX_PATH) == 0 && PathInsideFolder(exe, folder))
            return 1;
    }
    return 0;
}

int (*QueryUserIsAdministrator)(void) = UserIsAdministrator;

int UserIsAdministrator(void)
{
    // A filtered token or its elevated twin: an administrator under UAC.
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    if (ReadOwnToken(TokenElevationType, &type, sizeof type) && type != TokenElevationTypeDefault)
        return 1;
    // Otherwise UAC is off, or absent, or the user is a standard one: the token says which.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = NULL;
    BOOL member = FALSE;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                  0, 0, 0, 0, &administrators))
        return 0;
    if (!CheckTokenMembership(NULL, administrators, &member))
        member = FALSE;
    FreeSid(administrators);
    return member != 0;
}

// A bounded text of UTF-16 being written; once something did not fit it stays failed.
struct XmlText {
    WCHAR text[XmlSize];
    size_t length;
    int failed;
};

static void Append(XmlText *xml, const WCHAR *part)
{
    size_t length = wcslen(part);
    if (xml->failed || xml->length + length >= XmlSize) {
        xml->failed = 1;
        return;
    }
    memcpy(xml->text + xml->length, part, length * sizeof(WCHAR));
    xml->length += length;
    xml->text[xml->length] = L'\0';
}

static void AppendEscaped(XmlText *xml, const WCHAR *value)
{
    for (const WCHAR *p = value; *p; ++p) {
        WCHAR single[2] = {*p, L'\0'};
        switch (*p) {
        case L'&': Append(xml, L"&amp;"); break;
        case L'<': Append(xml, L"&lt;"); break;
        case L'>': Append(xml, L"&gt;"); break;
        case L'"': Append(xml, L"&quot;"); break;
        case L'\'': Append(xml, L"&apos;"); break;
        default: Append(xml, single); break;
        }
    }
}

static int ReadTaskUser(TaskUser *user)
{
    BYTE buffer[256];
    if (!ReadOwnToken(TokenUser, buffer, sizeof buffer))
        return -1;
    PSID sid = ((TOKEN_USER *)buffer)->User.Sid;
    WCHAR name[UserNameSize / 2], domain[UserNameSize / 2];
    DWORD nameLength = UserNameSize / 2, domainLength = UserNameSize / 2;
    SID_NAME_USE use;
    WCHAR *sidText = NULL;
    if (!LookupAccountSidW(NULL, sid, name, &nameLength, domain, &domainLength, &use) ||
        !ConvertSidToStringSidW(sid, &sidText))
        return -1;
    _snwprintf(user->name, UserNameSize, domain[0] ? L"%ls\\%ls" : L"%ls%ls", domain, name);
    user->name[UserNameSize - 1] = L'\0';
    size_t length = wcslen(sidText);
    if (length < SidTextSize)
        memcpy(user->sid, sidText, (length + 1) * sizeof(WCHAR));
    LocalFree(sidText);
    return length < SidTextSize ? 0 : -1;
}

static int UsersTaskName(const TaskUser *user, WCHAR *name, size_t count)
{
    int length = _snwprintf(name, count, L"%ls %ls", LegacyTaskName, user->sid);
    return length > 0 && (size_t)length < count ? 0 : -1;
}

int LogonTaskName(WCHAR *name, size_t count)
{
    TaskUser user;
    return ReadTaskUser(&user) == 0 ? UsersTaskName(&user, name, count) : -1;
}

// The text of the first `element` inside the first `parent` element of xml, entities replaced;
// 0, or -1 when there is none or it does not fit.
static int ElementText(const WCHAR *xml, const WCHAR *parent, const WCHAR *element, WCHAR *out,
                       size_t count)
{
    WCHAR open[64], close[64];
    _snwprintf(open, 64, L"<%ls>", parent);
    _snwprintf(close, 64, L"</%ls>", parent);
    open[63] = close[63] = L'\0';
    const WCHAR *start = wcsstr(xml, open);
    if (!start) {
        // The start tag may carry attributes (<Principal id="Author">).
        open[wcslen(open) - 1] = L' ';
        start = wcsstr(xml, open);
    }
    const WCHAR *end = start ? wcsstr(start, close) : NULL;
    if (!end)
        return -1;
    _snwprintf(open, 64, L"<%ls>", element);
    _snwprintf(close, 64, L"</%ls>", element);
    const WCHAR *from = wcsstr(start, open);
    const WCHAR *to = from ? wcsstr(from, close) : NULL;
    if (!to || to > end)
        return -1;
    static const struct { const WCHAR *entity; WCHAR character; } Entities[] = {
        {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''},
    };
    size_t used = 0;
    for (const WCHAR *p = from + wcslen(open); p < to; ++used) {
        if (used + 1 >= count)
            return -1;
        out[used] = *p++;
        for (const auto &known : Entities) {
            size_t length = wcslen(known.entity);
            if (out[used] == L'&' && wcsncmp(p - 1, known.entity, length) == 0) {
                out[used] = known.character;
                p += length - 1;
                break;
            }
        }
    }
    out[used] = L'\0';
    return 0;
}

static int SameText(const WCHAR *a, size_t length, const WCHAR *b)
{
    return length == wcslen(b) &&
           CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a, (int)length, b, (int)length) ==
               CSTR_EQUAL;
}

int TaskXmlIsUsers(const WCHAR *xml, const WCHAR *user, const WCHAR *sid, const WCHAR *exe)
{
    static WCHAR text[MAX_PATH + UserNameSize];
    if (ElementText(xml, L"Principals", L"UserId", text, MAX_PATH + UserNameSize) != 0 ||
        !(SameText(text, wcslen(text), user) || SameText(text, wcslen(text), sid)))
        return 0;
    if (!exe)
        return 1;
    if (ElementText(xml, L"Exec", L"Command", text, MAX_PATH + UserNameSize) != 0)
        return 0;
    // The path without case, quoted or not.
    const WCHAR *p = text;
    size_t length = wcslen(p);
    if (length >= 2 && p[0] == L'"' && p[length - 1] == L'"') {
        p++;
        length -= 2;
    }
    return SameText(p, length, exe);
}

// The System log's event of every wake from sleep. The subscription is XML held as the text of
// an element, so it is escaped like any other value.
static const WCHAR WakeQuery[] =
    L"<QueryList><Query Id=\"0\" Path=\"System\"><Select Path=\"System\">"
    L"*[System[Provider[@Name='Microsoft-Windows-Power-Troubleshooter'] and EventID=1]]"
    L"</Select></Query></QueryList>";

// The task: at the user's logon and after each wake, this exe from its own folder, at the highest
// run level the user has, for as long as it runs, on battery too, at the usual priority of a
// program started by hand.
static int BuildTaskXml(XmlText *xml, const WCHAR *exe, const WCHAR *user)
{
    WCHAR folder[MAX_PATH];
    wcsncpy(folder, exe, MAX_PATH - 1);
    folder[MAX_PATH - 1] = L'\0';
    WCHAR *slash = wcsrchr(folder, L'\\');
    if (!slash)
        return -1;
    *(slash == folder + 2 ? slash + 1 : slash) = L'\0';   // "C:\" keeps its separator
    xml->length = 0;
    xml->failed = 0;
    xml->text[0] = L'\0';
    Append(xml, L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
                L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
                L"  <RegistrationInfo><Description>vellmarin</Description></RegistrationInfo>\r\n"
                L"  <Triggers>\r\n    <LogonTrigger>\r\n      <Enabled>true</Enabled>\r\n      <UserId>");
    AppendEscaped(xml, user);
    Append(xml, L"</UserId>\r\n    </LogonTrigger>\r\n"
                L"    <EventTrigger>\r\n      <Enabled>true</Enabled>\r\n      <Subscription>");
    AppendEscaped(xml, WakeQuery);
    Append(xml, L"</Subscription>\r\n    </EventTrigger>\r\n  </Triggers>\r\n"
                L"  <Principals>\r\n    <Principal id=\"Author\">\r\n      <UserId>");
    AppendEscaped(xml, user);
    Append(xml, L"</UserId>\r\n      <LogonType>InteractiveToken</LogonType>\r\n"
                L"      <RunLevel>HighestAvailable</RunLevel>\r\n    </Principal>\r\n  </Principals>\r\n"
                L"  <Settings>\r\n"
                L"    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
                L"    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
                L"    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
                L"    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
                L"    <Priority>4</Priority>\r\n"
                L"    <Enabled>true</Enabled>\r\n"
                L"  </Settings>\r\n"
                L"  <Actions Context=\"Author\">\r\n    <Exec>\r\n      <Command>");
    AppendEscaped(xml, exe);
    Append(xml, L"</Command>\r\n      <WorkingDirectory>");
    AppendEscaped(xml, folder);
    Append(xml, L"</WorkingDirectory>\r\n    </Exec>\r\n  </Actions>\r\n</Task>\r\n");
    return xml->failed ? -1 : 0;
}

// COM for this thread for as long as one task operation lasts; a thread already in another
// apartment kind is used as it is.
static HRESULT EnterCom(int *entered)
{
    HRESULT result = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    *entered = SUCCEEDED(result);
    return result == RPC_E_CHANGED_MODE ? S_OK : result;
}

static void LeaveCom(int entered)
{
    if (entered)
        CoUninitialize();
}

static void ReleaseOnce(IUnknown **slot)
{
    if (*slot) {
        (*slot)->Release();
        *slot = NULL;
    }
}

// The root folder of the Task Scheduler on this computer.
static HRESULT OpenRootFolder(ITaskFolder **root)
{
    *root = NULL;
    ITaskService *service = NULL;
    HRESULT result = CoCreateInstance(__uuidof(TaskScheduler), NULL, CLSCTX_INPROC_SERVER,
                                      __uuidof(ITaskService), (void **)&service);
    if (FAILED(result))
        return result;
    VARIANT none;
    VariantInit(&none);
    result = service->Connect(none, none, none, none);
    if (SUCCEEDED(result)) {
        BSTR path = SysAllocString(RootFolder);
        result = path ? service->GetFolder(path, root) : E_OUTOFMEMORY;
        SysFreeString(path);
    }
    ReleaseOnce((IUnknown **)&service);
    return result;
}

int LogonTaskXml(const WCHAR *exe, WCHAR *xml, size_t count)
{
    TaskUser user;
    if (ReadTaskUser(&user) != 0)
        return -1;
    static XmlText text;
    if (BuildTaskXml(&text, exe, user.name) != 0 || text.length >= count)
        return -1;
    memcpy(xml, text.text, (text.length + 1) * sizeof(WCHAR));
    return 0;
}

static HRESULT RegisterTaskXml(ITaskFolder *root, const WCHAR *taskName, const WCHAR *xml)
{
    BSTR name = SysAllocString(taskName), text = SysAllocString(xml);
    VARIANT none;
    VariantInit(&none);
    IRegisteredTask *task = NULL;
    HRESULT result = E_OUTOFMEMORY;
    if (name && text)
        result = root->RegisterTask(name, text, TASK_CREATE_OR_UPDATE, none, none,
                                    TASK_LOGON_INTERACTIVE_TOKEN, none, &task);
    ReleaseOnce((IUnknown **)&task);
    SysFreeString(name);
    SysFreeString(text);
    return result;
}

// Whether the task of that name runs as this user (and starts exe, unless it is null).
static int RegisteredTaskIsUsers(ITaskFolder *root, const WCHAR *taskName, const TaskUser *user,
                                 const WCHAR *exe)
{
    BSTR name = SysAllocString(taskName), xml = NULL;
    IRegisteredTask *task = NULL;
    int users = name && SUCCEEDED(root->GetTask(name, &task)) && SUCCEEDED(task->get_Xml(&xml)) &&
                xml && TaskXmlIsUsers(xml, user->name, user->sid, exe);
    SysFreeString(xml);
    ReleaseOnce((IUnknown **)&task);
    SysFreeString(name);
    return users;
}

static int MissingTask(HRESULT result)
{
    return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
           result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

static HRESULT DeleteNamedTask(ITaskFolder *root, const WCHAR *taskName)
{
    BSTR name = SysAllocString(taskName);
    HRESULT result = name ? root->DeleteTask(name, 0) : E_OUTOFMEMORY;
    SysFreeString(name);
    return MissingTask(result) ? S_OK : result;
}

// The task 0.22 left is this user's when it runs as this user; another user's is left alone.
static HRESULT DeleteLegacyTask(ITaskFolder *root, const TaskUser *user)
{
    return RegisteredTaskIsUsers(root, LegacyTaskName, user, NULL)
               ? DeleteNamedTask(root, LegacyTaskName)
               : S_OK;
}

// One operation on this user's task: registering the text xml, or deleting it when xml is null.
static HRESULT ChangeUsersTask(const WCHAR *xml)
{
    TaskUser user;
    WCHAR name[TaskNameSize];
    if (ReadTaskUser(&user) != 0 || UsersTaskName(&user, name, TaskNameSize) != 0)
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    int entered = 0;
    HRESULT result = EnterCom(&entered);
    if (SUCCEEDED(result)) {
        ITaskFolder *root = NULL;
        result = OpenRootFolder(&root);
        if (SUCCEEDED(result))
            result = xml ? RegisterTaskXml(root, name, xml) : DeleteNamedTask(root, name);
        if (SUCCEEDED(result))
            result = DeleteLegacyTask(root, &user);
        ReleaseOnce((IUnknown **)&root);
    }
    LeaveCom(entered);
    return result;
}

HRESULT RegisterLogonTask(void)
{
    WCHAR exe[MAX_PATH];
    static WCHAR xml[XmlSize];
    if (TaskExe(exe, MAX_PATH) != 0 || LogonTaskXml(exe, xml, XmlSize) != 0)
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    return ChangeUsersTask(xml);
}

HRESULT DeleteLogonTask(void)
{
    return ChangeUsersTask(NULL);
}

int LogonTaskExists(void)
{
    WCHAR wideExe[MAX_PATH], name[TaskNameSize];
    TaskUser user;
    if (TaskExe(wideExe, MAX_PATH) != 0 || ReadTaskUser(&user) != 0 ||
        UsersTaskName(&user, name, TaskNameSize) != 0)
        return 0;
    int entered = 0, exists = 0;
    if (SUCCEEDED(EnterCom(&entered))) {
        ITaskFolder *root = NULL;
        if (SUCCEEDED(OpenRootFolder(&root)))
            exists = RegisteredTaskIsUsers(root, name, &user, wideExe) ||
                     RegisteredTaskIsUsers(root, LegacyTaskName, &user, wideExe);
        ReleaseOnce((IUnknown **)&root);
    }
    LeaveCom(entered);
    return exists;
}

int RunLogonTaskCommand(int registering)
{
    // This process does nothing else: the Task Scheduler may act in its caller's name.
    int entered = 0;
    if (SUCCEEDED(EnterCom(&entered)))
        CoInitializeSecurity(NULL, -1, NULL, NULL, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                             RPC_C_IMP_LEVEL_IMPERSONATE, NULL, EOAC_NONE, NULL);
    CommandResult result = {};
    if (registering && !ExeMayBeTaskTarget()) {
        result.exitCode = ExitNotInProgramFiles;
    } else {
        HRESULT outcome = registering ? RegisterLogonTask() : DeleteLogonTask();
        if (FAILED(outcome)) {
            result.exitCode = ExitTaskRefused;
            result.windowsError = (uint32_t)outcome;
            WindowsErrorText((DWORD)outcome, result.message, sizeof result.message);
        }
    }
    LeaveCom(entered);
    WriteCommandResult(&result);
    return result.exitCode;
}
