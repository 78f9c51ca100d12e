// The result block an elevated one-shot instance writes and the instance that started it reads:
// named shared memory of the user's session, created by the reader and only opened by the writer.
#include "base/command_result.h"
#include "base/elevation.h"

#include <sddl.h>
#include <stdio.h>
#include <string.h>

static const WCHAR BlockName[] = L"Local\\vellmarin command result";
static const uint32_t WrittenMark = 0x564D5231;     // "VMR1", stored last

struct ResultBlock {
    CommandResult result;
    volatile LONG written;
};

static HANDLE BlockMapping = NULL;
static ResultBlock *Block = NULL;

void CloseCommandResult(void)
{
    if (Block) {
        UnmapViewOfFile(Block);
        Block = NULL;
    }
    if (BlockMapping) {
        CloseHandle(BlockMapping);
        BlockMapping = NULL;
    }
}

// The elevated instance may run as another user (a standard user's prompt asks for an
// administrator's name and password): the block is this user's, the elevated Administrators' and
// the system's. Null when it cannot be built: the default then serves this user's elevation.
static PSECURITY_DESCRIPTOR BlockSecurity(void)
{
    union { TOKEN_USER user; BYTE bytes[256]; } owner;
    char *sid = NULL;
    if (!ReadOwnToken(TokenUser, &owner, sizeof owner) ||
        !ConvertSidToStringSidA(owner.user.User.Sid, &sid))
        return NULL;
    char text[256];
    int length = snprintf(text, sizeof text, "D:P(A;;GA;;;%s)(A;;GA;;;BA)(A;;GA;;;SY)", sid);
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (length <= 0 || (size_t)length >= sizeof text ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &descriptor,
                                                              NULL))
        return NULL;
    return descriptor;
}

int OpenCommandResult(void)
{
    CloseCommandResult();
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, BlockSecurity(), FALSE};
    SetLastError(ERROR_SUCCESS);
    BlockMapping = CreateFileMappingW(INVALID_HANDLE_VALUE,
                                      attributes.lpSecurityDescriptor ? &attributes : NULL,
                                      PAGE_READWRITE, 0, sizeof(ResultBlock), BlockName);
    DWORD error = GetLastError();
    if (attributes.lpSecurityDescriptor)
        LocalFree(attributes.lpSecurityDescriptor);
    // A block someone else made first has their access list and their bytes: it is not ours.
    if (!BlockMapping || error == ERROR_ALREADY_EXISTS) {
        CloseCommandResult();
        SetLastError(error);
        return -1;
    }
    Block = (ResultBlock *)MapViewOfFile(BlockMapping, FILE_MAP_WRITE, 0, 0, sizeof(ResultBlock));
    if (!Block) {
        CloseCommandResult();
        return -1;
    }
    ZeroMemory(Block, sizeof *Block);
    return 0;
}

int ReadCommandResult(CommandResult *result, DWORD writer)
{
    ZeroMemory(result, sizeof *result);
    if (!Block || InterlockedCompareExchange(&Block->written, 0, 0) != (LONG)WrittenMark)
        return 0;
    *result = Block->result;
    result->message[CommandMessageSize - 1] = '\0';
    if (writer != 0 && result->writerProcess != writer) {
        ZeroMemory(result, sizeof *result);
        return 0;
    }
    return 1;
}

void WriteCommandResult(const CommandResult *result)
{
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, BlockName);
    if (!mapping)
        return;
    ResultBlock *block = (ResultBlock *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0,
                                                      sizeof(ResultBlock));
    if (block) {
        block->result = *result;
        block->result.writerProcess = GetCurrentProcessId();
        block->result.message[CommandMessageSize - 1] = '\0';
        InterlockedExchange(&block->written, (LONG)WrittenMark);
        UnmapViewOfFile(block);
    }
    CloseHandle(mapping);
}
