// The Program Files rule as rows, and the logon task registered in the prefix's Task Scheduler,
// read back through its COM interface, and deleted.
#include <gtest/gtest.h>
#include <windows.h>
#include <taskschd.h>
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

// The task as the Task Scheduler hands it back.
struct ReadBack {
    int found = 0, runLevel = -1, logonType = -1, triggerCount = -1, triggerType = -1, onBattery = -1;
    std::wstring path, folder, limit;
};

ReadBack ReadTask()
{
    ReadBack back;
    ITaskService *service = NULL;
    ITaskFolder *root = NULL;
    IRegisteredTask *task = NULL;
    ITaskDefinition *definition = NULL;
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    VARIANT none;
    VariantInit(&none);
    if (FAILED(CoCreateInstance(__uuidof(TaskScheduler), NULL, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskService), (void **)&service)) ||
        FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(SysAllocString(L"\\"), &root)) ||
        FAILED(root->GetTask(SysAllocString(L"vellmarin"), &task)) ||
        FAILED(task->get_Definition(&definition)))
        return back;
    back.found = 1;
    BSTR text = NULL;
    IPrincipal *principal = NULL;
    if (SUCCEEDED(definition->get_Principal(&principal))) {
        TASK_RUNLEVEL_TYPE level;
        TASK_LOGON_TYPE logon;
        if (SUCCEEDED(principal->get_RunLevel(&level)))
            back.runLevel = level;
        if (SUCCEEDED(principal->get_LogonType(&logon)))
            back.logonType = logon;
    }
    ITriggerCollection *triggers = NULL;
    ITrigger *trigger = NULL;
    LONG count = 0;
    TASK_TRIGGER_TYPE2 type;
    if (SUCCEEDED(definition->get_Triggers(&triggers)) && SUCCEEDED(triggers->get_Count(&count))) {
        back.triggerCount = count;
        if (count > 0 && SUCCEEDED(triggers->get_Item(1, &trigger)) && SUCCEEDED(trigger->get_Type(&type)))
            back.triggerType = type;
    }
    IActionCollection *actions = NULL;
    IAction *action = NULL;
    IExecAction *exec = NULL;
    if (SUCCEEDED(definition->get_Actions(&actions)) && SUCCEEDED(actions->get_Item(1, &action)) &&
        SUCCEEDED(action->QueryInterface(__uuidof(IExecAction), (void **)&exec))) {
        if (SUCCEEDED(exec->get_Path(&text)) && text)
            back.path = text;
        if (SUCCEEDED(exec->get_WorkingDirectory(&text)) && text)
            back.folder = text;
    }
    ITaskSettings *settings = NULL;
    VARIANT_BOOL disallow = VARIANT_TRUE, stop = VARIANT_TRUE;
    if (SUCCEEDED(definition->get_Settings(&settings))) {
        if (SUCCEEDED(settings->get_ExecutionTimeLimit(&text)) && text)
            back.limit = text;
        if (SUCCEEDED(settings->get_DisallowStartIfOnBatteries(&disallow)) &&
            SUCCEEDED(settings->get_StopIfGoingOnBatteries(&stop)))
            back.onBattery = disallow == VARIANT_FALSE && stop == VARIANT_FALSE;
    }
    return back;    // the objects go with the test process
}

int RunCommand(int registering, CommandResult *result)
{
    OpenCommandResult();
    int code = RunLogonTaskCommand(registering);
    EXPECT_EQ(1, ReadCommandResult(result));
    CloseCommandResult();
    return code;
}

}  // namespace

TEST(LogonTask, RegisteredForAnExeInProgramFilesReadBackAndDeleted)
{
    CommandResult result;
    snprintf(TaskExePath, sizeof TaskExePath, "C:\\Program Files\\vm-task-test\\A&B\\vellmarin.exe");
    ASSERT_EQ(ExitClockSet, RunCommand(1, &result));
    EXPECT_EQ(0u, result.windowsError);
    ReadBack back = ReadTask();
    ASSERT_EQ(1, back.found);
    EXPECT_EQ(L"PT0S", back.limit);
    EXPECT_EQ(1, back.onBattery);
    // Wine 8 keeps a task's settings but neither its principal, triggers nor actions (its reader
    // skips them); where the Task Scheduler hands them back they are the ones registered.
    if (!back.path.empty()) {
        EXPECT_EQ(1, LogonTaskExists());
        EXPECT_EQ(L"C:\\Program Files\\vm-task-test\\A&B\\vellmarin.exe", back.path);
        EXPECT_EQ(L"C:\\Program Files\\vm-task-test\\A&B", back.folder);
        EXPECT_EQ(TASK_RUNLEVEL_HIGHEST, back.runLevel);
        EXPECT_EQ(TASK_LOGON_INTERACTIVE_TOKEN, back.logonType);
        EXPECT_EQ(1, back.triggerCount);
        EXPECT_EQ(TASK_TRIGGER_LOGON, back.triggerType);
    }

    // The same task seen from another exe is not this exe's task.
    snprintf(TaskExePath, sizeof TaskExePath, "C:\\Program Files\\other\\vellmarin.exe");
    EXPECT_EQ(0, LogonTaskExists());

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
