// The Program Files rule as rows, and the logon task registered in the prefix's Task Scheduler,
// read back through its COM interface, and deleted.
#include <gtest/gtest.h>
#include <windows.h>
#include <msxml2.h>
#include <taskschd.h>
#include <string>
#include <stdio.h>

#include "base/command_result.h"
#include "base/exit_codes.h"
#include "base/logon_task.h"

TEST(ProgramFilesRule, OnlyFilesBelowTheFolderItself)
{
    struct Row { const char *path, *folder; int inside; };
    const Row rows[] = {
        {"C:\\Program Files\\vellmarin\\vellmarin.exe", "C:\\Program Files", 1},
        {"c:\\PROGRAM files\\vm.exe", "C:\\Program Files\\", 1},
        {"C:\\Program Files (x86)\\vm\\vm.exe", "C:\\Program Files (x86)", 1},
        {"C:\\Program Files Evil\\x.exe", "C:\\Program Files", 0},
        {"C:\\Program Files (x86)\\x.exe", "C:\\Program Files", 0},
        {"C:\\Program Files", "C:\\Program Files", 0},
        {"C:\\Program Files\\", "C:\\Program Files", 0},
        {"C:\\Program Files\\..\\Users\\x.exe", "C:\\Program Files", 0},
        {"C:\\Program Files\\vm\\..\\..\\x.exe", "C:\\Program Files", 0},
        {"C:\\Program Files\\.\\x.exe", "C:\\Program Files", 0},
        {"C:\\Program Files\\. .\\x.exe", "C:\\Program Files", 0},
        {"C:\\Program Files\\vm\\..", "C:\\Program Files", 0},
        {"C:\\Program Files\\\\x.exe", "C:\\Program Files", 0},
        {"C:\\Program Files\\vm/../../x.exe", "C:\\Program Files", 0},
        {"C:\\Program Files\\x.exe:stream", "C:\\Program Files", 0},
        {"C:\\Program Files\\?\\x.exe", "C:\\Program Files", 0},     // a character lost to CP932
        {"\\\\?\\C:\\Program Files\\x.exe", "C:\\Program Files", 0},
        {"C:\\x.exe", "", 0},
        // 表 ends in 0x5C, which is no separator; ア (83 41) and ギ (83 61) differ only in a
        // trail byte that must not be folded like a letter.
        {"C:\\表\\x.exe", "C:\\表", 1},
        {"C:\\表\\x.exe", "C:\\表\\", 1},
        {"C:\\表x.exe", "C:\\表", 0},
        {"C:\\ギ\\x.exe", "C:\\ア", 0},
        {"C:\\Program Files\\ソフト\\x.exe", "C:\\Program Files", 1},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.inside, PathInsideFolder(row.path, row.folder)) << row.path << " in " << row.folder;
}

namespace {

// The task as the prefix's Task Scheduler hands it back. Wine 8 keeps a task's settings but drops
// its principal, triggers and actions (its reader skips them), so those are checked in the text.
struct ReadBack {
    int found = 0, onBattery = -1;
    std::wstring limit;
};

ReadBack ReadTask()
{
    ReadBack back;
    ITaskService *service = NULL;
    ITaskFolder *root = NULL;
    IRegisteredTask *task = NULL;
    ITaskDefinition *definition = NULL;
    ITaskSettings *settings = NULL;
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    VARIANT none;
    VariantInit(&none);
    if (FAILED(CoCreateInstance(__uuidof(TaskScheduler), NULL, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskService), (void **)&service)) ||
        FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(SysAllocString(L"\\"), &root)) ||
        FAILED(root->GetTask(SysAllocString(L"vellmarin"), &task)) ||
        FAILED(task->get_Definition(&definition)) || FAILED(definition->get_Settings(&settings)))
        return back;    // the objects go with the test process
    back.found = 1;
    BSTR limit = NULL;
    VARIANT_BOOL disallow = VARIANT_TRUE, stop = VARIANT_TRUE;
    if (SUCCEEDED(settings->get_ExecutionTimeLimit(&limit)) && limit)
        back.limit = limit;
    if (SUCCEEDED(settings->get_DisallowStartIfOnBatteries(&disallow)) &&
        SUCCEEDED(settings->get_StopIfGoingOnBatteries(&stop)))
        back.onBattery = disallow == VARIANT_FALSE && stop == VARIANT_FALSE;
    return back;
}

int RunCommand(int registering, CommandResult *result)
{
    OpenCommandResult();
    int code = RunLogonTaskCommand(registering);
    EXPECT_EQ(1, ReadCommandResult(result));
    CloseCommandResult();
    return code;
}

const CLSID DomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID DomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

VARIANT Text(const WCHAR *text)
{
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(text);
    return value;
}

}  // namespace

// The text the Task Scheduler is given, read by an XML parser as Windows reads it.
TEST(LogonTask, TextStartsTheExeFromItsFolderAtTheUsersLogonAtTheHighestLevel)
{
    static WCHAR xml[8192];
    ASSERT_EQ(0, LogonTaskXml("C:\\Program Files\\A&B's\\vellmarin.exe", xml, 8192));
    EXPECT_EQ(-1, LogonTaskXml("C:\\Program Files\\A&B's\\vellmarin.exe", xml, 500));
    WCHAR user[256];
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    IXMLDOMDocument2 *document = NULL;
    ASSERT_EQ(S_OK, CoCreateInstance(DomDocument30, NULL, CLSCTX_INPROC_SERVER, DomDocument2, (void **)&document));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(S_OK, document->loadXML(SysAllocString(xml), &loaded));
    ASSERT_EQ(VARIANT_TRUE, loaded);
    document->setProperty(SysAllocString(L"SelectionLanguage"), Text(L"XPath"));
    document->setProperty(SysAllocString(L"SelectionNamespaces"),
                          Text(L"xmlns:t='http://schemas.microsoft.com/windows/2004/02/mit/task'"));
    std::wstring account = std::wstring(L"\\") + user;
    struct Row { const WCHAR *path; std::wstring value; bool suffix; };
    const Row rows[] = {
        {L"t:Triggers/t:LogonTrigger/t:UserId", account, true},
        {L"t:Principals/t:Principal/t:UserId", account, true},
        {L"t:Principals/t:Principal/t:LogonType", L"InteractiveToken", false},
        {L"t:Principals/t:Principal/t:RunLevel", L"HighestAvailable", false},
        {L"t:Actions/t:Exec/t:Command", L"C:\\Program Files\\A&B's\\vellmarin.exe", false},
        {L"t:Actions/t:Exec/t:WorkingDirectory", L"C:\\Program Files\\A&B's", false},
        {L"t:Settings/t:ExecutionTimeLimit", L"PT0S", false},
        {L"t:Settings/t:DisallowStartIfOnBatteries", L"false", false},
        {L"t:Settings/t:StopIfGoingOnBatteries", L"false", false},
    };
    for (const Row &row : rows) {
        IXMLDOMNode *node = NULL;
        BSTR value = NULL;
        std::wstring path = std::wstring(L"/t:Task/") + row.path;
        ASSERT_EQ(S_OK, document->selectSingleNode(SysAllocString(path.c_str()), &node)) << row.path;
        ASSERT_EQ(S_OK, node->get_text(&value));
        std::wstring found = value;
        if (row.suffix && found.size() > row.value.size())
            found.erase(0, found.size() - row.value.size());
        EXPECT_EQ(row.value, found) << row.path;
    }
}

TEST(LogonTask, RegisteredForAnExeInProgramFilesAndDeleted)
{
    CommandResult result;
    snprintf(TaskExePath, sizeof TaskExePath, "C:\\Program Files\\vm-task-test\\vellmarin.exe");
    ASSERT_EQ(ExitClockSet, RunCommand(1, &result));
    EXPECT_EQ(0u, result.windowsError);
    ReadBack back = ReadTask();
    EXPECT_EQ(1, back.found);
    EXPECT_EQ(L"PT0S", back.limit);
    EXPECT_EQ(1, back.onBattery);
    ASSERT_EQ(ExitClockSet, RunCommand(0, &result));
    EXPECT_EQ(0, ReadTask().found);
    EXPECT_EQ(ExitClockSet, RunCommand(0, &result));     // nothing to delete is done too
    TaskExePath[0] = '\0';
}

TEST(LogonTask, OutsideProgramFilesNothingIsRegistered)
{
    CommandResult result;
    snprintf(TaskExePath, sizeof TaskExePath, "C:\\users\\Public\\vellmarin.exe");
    EXPECT_EQ(ExitNotInProgramFiles, RunCommand(1, &result));
    EXPECT_EQ(ExitNotInProgramFiles, result.exitCode);
    EXPECT_EQ(0, ReadTask().found);
    TaskExePath[0] = '\0';
}
