// The Program Files rule as rows, and the logon task registered in the prefix's Task Scheduler,
// read back through its COM interface, and deleted.
#include <gtest/gtest.h>
#include <windows.h>
#include <msxml2.h>
#include <taskschd.h>
#include <algorithm>
#include <string>
#include <stdio.h>

#include "base/command_result.h"
#include "base/exit_codes.h"
#include "base/logon_task.h"

TEST(ProgramFilesRule, OnlyFilesBelowTheFolderItself)
{
    struct Row { const WCHAR *path, *folder; int inside; };
    const Row rows[] = {
        {L"C:\\Program Files\\vellmarin\\vellmarin.exe", L"C:\\Program Files", 1},
        {L"c:\\PROGRAM files\\vm.exe", L"C:\\Program Files\\", 1},
        {L"C:\\Program Files (x86)\\vm\\vm.exe", L"C:\\Program Files (x86)", 1},
        {L"C:\\Program Files Evil\\x.exe", L"C:\\Program Files", 0},
        {L"C:\\Program Files (x86)\\x.exe", L"C:\\Program Files", 0},
        {L"C:\\Program Files", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\..\\Users\\x.exe", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\vm\\..\\..\\x.exe", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\.\\x.exe", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\. .\\x.exe", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\vm\\..", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\\\x.exe", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\vm/../../x.exe", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\x.exe:stream", L"C:\\Program Files", 0},
        {L"C:\\Program Files\\?\\x.exe", L"C:\\Program Files", 0},
        {L"\\\\?\\C:\\Program Files\\x.exe", L"C:\\Program Files", 0},
        {L"C:\\x.exe", L"", 0},
        // Any script in a name; letters outside ASCII match only exactly.
        {L"C:\\Program Files\\Zo\u00EB \u6642\u8A08\\vellmarin.exe", L"C:\\Program Files", 1},
        {L"C:\\\u8868\\x.exe", L"C:\\\u8868\\", 1},
        {L"C:\\\u8868x.exe", L"C:\\\u8868", 0},
        {L"C:\\\u00C9\\x.exe", L"C:\\\u00E9", 0},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.inside, PathInsideFolder(row.path, row.folder)) << rows - &row;
}

namespace {

// The task's time limit as the prefix's Task Scheduler hands it back, "none" without a task.
// Wine 8 keeps a task's settings but drops its principal, triggers and actions (its reader skips
// them), so those are checked in the text it is given.
std::wstring ReadTaskLimit(const WCHAR *name)
{
    ITaskService *service = NULL;
    ITaskFolder *root = NULL;
    IRegisteredTask *task = NULL;
    ITaskDefinition *definition = NULL;
    ITaskSettings *settings = NULL;
    BSTR limit = NULL;
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    VARIANT none;
    VariantInit(&none);
    if (FAILED(CoCreateInstance(__uuidof(TaskScheduler), NULL, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskService), (void **)&service)) ||
        FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(SysAllocString(L"\\"), &root)) ||
        FAILED(root->GetTask(SysAllocString(name), &task)) ||
        FAILED(task->get_Definition(&definition)) || FAILED(definition->get_Settings(&settings)))
        return L"none";     // the objects go with the test process
    return SUCCEEDED(settings->get_ExecutionTimeLimit(&limit)) && limit ? limit : L"";
}

int RunCommand(int registering, CommandResult *result)
{
    OpenCommandResult();
    int code = RunLogonTaskCommand(registering);
    EXPECT_EQ(1, ReadCommandResult(result, GetCurrentProcessId()));
    CloseCommandResult();
    return code;
}

const CLSID DomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID DomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

}  // namespace

// The text the Task Scheduler is given, read by an XML parser as Windows reads it.
TEST(LogonTask, TextStartsTheExeFromItsFolderAtLogonAndWakeAtTheHighestLevel)
{
    static WCHAR xml[8192];
    EXPECT_EQ(-1, LogonTaskXml(L"vellmarin.exe", xml, 8192));       // no folder to start it from
    ASSERT_EQ(0, LogonTaskXml(L"C:\\Program Files\\A&B's Zo\u00EB\\vellmarin.exe", xml, 8192));
    WCHAR user[256];
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    IXMLDOMDocument *document = NULL;
    ASSERT_EQ(S_OK, CoCreateInstance(DomDocument30, NULL, CLSCTX_INPROC_SERVER, DomDocument, (void **)&document));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(S_OK, document->loadXML(SysAllocString(xml), &loaded));
    ASSERT_EQ(VARIANT_TRUE, loaded);
    // The user's name ends DOMAIN\user in the logon trigger and in the principal.
    struct Row { const WCHAR *element; std::wstring value; long count; };
    const Row rows[] = {
        {L"UserId", std::wstring(L"\\") + user, 2},
        {L"LogonType", L"InteractiveToken", 1},
        {L"RunLevel", L"HighestAvailable", 1},
        {L"Command", L"C:\\Program Files\\A&B's Zo\u00EB\\vellmarin.exe", 1},
        {L"WorkingDirectory", L"C:\\Program Files\\A&B's Zo\u00EB", 1},
        {L"ExecutionTimeLimit", L"PT0S", 1},
        {L"DisallowStartIfOnBatteries", L"false", 1},
        {L"StopIfGoingOnBatteries", L"false", 1},
        {L"Subscription", L"<QueryList><Query Id=\"0\" Path=\"System\"><Select Path=\"System\">*[System["
                          L"Provider[@Name='Microsoft-Windows-Power-Troubleshooter'] and EventID=1]]"
                          L"</Select></Query></QueryList>", 1},
    };
    for (const Row &row : rows) {
        IXMLDOMNodeList *nodes = NULL;
        long count = 0;
        ASSERT_EQ(S_OK, document->getElementsByTagName(SysAllocString(row.element), &nodes));
        ASSERT_EQ(S_OK, nodes->get_length(&count));
        ASSERT_EQ(row.count, count) << row.element;
        for (long i = 0; i < count; i++) {
            IXMLDOMNode *node = NULL;
            BSTR value = NULL;
            ASSERT_EQ(S_OK, nodes->get_item(i, &node));
            ASSERT_EQ(S_OK, node->get_text(&value));
            std::wstring found = value;
            size_t keep = row.count == 2 ? row.value.size() : found.size();   // the user's ending
            EXPECT_EQ(row.value, found.substr(found.size() - std::min(keep, found.size()))) << row.element;
        }
    }
}

// This user's task, by its own name.
TEST(LogonTask, RegisteredOnlyForAnExeInProgramFilesAndDeleted)
{
    WCHAR name[256];
    ASSERT_EQ(0, LogonTaskName(name, 256));
    EXPECT_EQ(0, wcsncmp(name, L"vellmarin S-1-", 14)) << name;
    CommandResult result;
    wcscpy(TaskExePath, L"C:\\users\\Public\\vellmarin.exe");
    EXPECT_EQ(ExitNotInProgramFiles, RunCommand(1, &result));
    EXPECT_EQ(L"none", ReadTaskLimit(name));
    wcscpy(TaskExePath, L"C:\\Program Files\\vm-task-test\\vellmarin.exe");
    ASSERT_EQ(ExitClockSet, RunCommand(1, &result));
    EXPECT_EQ(0u, result.windowsError);
    EXPECT_EQ(L"PT0S", ReadTaskLimit(name));
    ASSERT_EQ(ExitClockSet, RunCommand(0, &result));
    EXPECT_EQ(L"none", ReadTaskLimit(name));
    EXPECT_EQ(ExitClockSet, RunCommand(0, &result));     // nothing to delete is done too
    TaskExePath[0] = L'\0';
}

// Whose task it is, read from the task's text: the principal's user, by name or SID, and the
// exe; the logon trigger's user says nothing.
TEST(LogonTask, TaskTextIsThisUsersOnlyWithItsPrincipalAndExe)
{
    const std::wstring ours = L"C:\\Program Files\\A&amp;B\\vellmarin.exe";
    struct Row { const WCHAR *principal; std::wstring command; int withExe, withoutExe; } rows[] = {
        {L"PC\\Ann", ours, 1, 1}, {L"pc\\ANN", L"\"c:\\program files\\a&amp;b\\VELLMARIN.exe\"", 1, 1},
        {L"S-1-5-21-1-2-3-1001", ours, 1, 1}, {L"PC\\Bob", ours, 0, 0}, {L"S-1-5-21-1-2-3-1002", ours, 0, 0},
        {L"Ann", ours, 0, 0}, {nullptr, ours, 0, 0},        // no principal, as Wine keeps a task
        {L"PC\\Ann", L"C:\\Program Files\\A&amp;B\\other.exe", 0, 1}, {L"PC\\Ann", L"", 0, 1},
    };
    for (const Row &row : rows) {
        std::wstring xml = L"<Task><Triggers><LogonTrigger><UserId>PC\\Ann</UserId></LogonTrigger></Triggers>";
        if (row.principal)
            xml += L"<Principals><Principal id=\"Author\"><UserId>" + std::wstring(row.principal) +
                   L"</UserId></Principal></Principals>";
        xml += L"<Actions><Exec>" + (row.command.empty() ? L"" : L"<Command>" + row.command + L"</Command>") +
               L"</Exec></Actions></Task>";
        SCOPED_TRACE(std::string(xml.begin(), xml.end()));
        EXPECT_EQ(row.withExe, TaskXmlIsUsers(xml.c_str(), L"PC\\Ann", L"S-1-5-21-1-2-3-1001",
                                              L"C:\\Program Files\\A&B\\vellmarin.exe"));
        EXPECT_EQ(row.withoutExe, TaskXmlIsUsers(xml.c_str(), L"PC\\Ann", L"S-1-5-21-1-2-3-1001", NULL));
    }
}

// A 32-bit exe sees the 64-bit Program Files only through the registry's ProgramW6432Dir: a
// folder named there holds the task's exe (the prefix names none; the test names its own).
TEST(ProgramFilesRule, TheSixtyFourBitFolderFromTheRegistry)
{
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                           0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key));
    ASSERT_NE(ERROR_SUCCESS, RegQueryValueExA(key, "ProgramW6432Dir", NULL, NULL, NULL, NULL)) << "named already";
    wcscpy(TaskExePath, L"D:\\Programs 64\\vm\\vellmarin.exe");
    EXPECT_EQ(0, ExeMayBeTaskTarget());
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "ProgramW6432Dir", 0, REG_SZ, (const BYTE *)"D:\\Programs 64", 15));
    EXPECT_EQ(1, ExeMayBeTaskTarget());
    RegDeleteValueA(key, "ProgramW6432Dir");
    RegCloseKey(key);
    TaskExePath[0] = L'\0';
}
