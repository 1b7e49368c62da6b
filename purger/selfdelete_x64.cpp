// The x86-64 stub. It is written into a page of its own, which is then made
// executable and read-only:
//
//   sub  rsp, 40              ; shadow space, stack aligned to 16
//   mov  rcx, <module>
//   mov  rax, <FreeLibrary>
//   call rax
//   mov  rcx, <path>          ; the path, stored after the code
//   mov  rax, <DeleteFileW>
//   call rax
//   xor  ecx, ecx
//   mov  rax, <ExitProcess>
//   call rax
//   int3
//
// The addresses are the system's, taken from kernel32 before the module is
// unloaded; the stub's page is never freed (the process ends in it).
#include "purger/selfdelete.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace pj::purger {

namespace {

void put(std::vector<unsigned char>& code, std::initializer_list<unsigned char> bytes) {
    code.insert(code.end(), bytes);
}

void putImm64(std::vector<unsigned char>& code, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        code.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

} // namespace

void unloadDeleteAndExit(HMODULE module, const std::wstring& file) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto freeLibrary =
        reinterpret_cast<std::uintptr_t>(GetProcAddress(kernel, "FreeLibrary"));
    const auto deleteFile = reinterpret_cast<std::uintptr_t>(GetProcAddress(kernel, "DeleteFileW"));
    const auto exitProcess =
        reinterpret_cast<std::uintptr_t>(GetProcAddress(kernel, "ExitProcess"));
    const std::size_t pathBytes = (file.size() + 1) * sizeof(wchar_t);
    const std::size_t codeRoom = 128;
    auto* page = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, codeRoom + pathBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!page || !freeLibrary || !deleteFile || !exitProcess)
        ExitProcess(0); // the module's file stays; the job of the caller is done
    auto* path = page + codeRoom;
    std::memcpy(path, file.c_str(), pathBytes);

    std::vector<unsigned char> code;
    put(code, {0x48, 0x83, 0xEC, 0x28});
    put(code, {0x48, 0xB9});
    putImm64(code, reinterpret_cast<std::uintptr_t>(module));
    put(code, {0x48, 0xB8});
    putImm64(code, freeLibrary);
    put(code, {0xFF, 0xD0});
    put(code, {0x48, 0xB9});
    putImm64(code, reinterpret_cast<std::uintptr_t>(path));
    put(code, {0x48, 0xB8});
    putImm64(code, deleteFile);
    put(code, {0xFF, 0xD0});
    put(code, {0x31, 0xC9});
    put(code, {0x48, 0xB8});
    putImm64(code, exitProcess);
    put(code, {0xFF, 0xD0});
    put(code, {0xCC});
    std::memcpy(page, code.data(), code.size());

    DWORD old = 0;
    VirtualProtect(page, codeRoom + pathBytes, PAGE_EXECUTE_READ, &old);
    FlushInstructionCache(GetCurrentProcess(), page, code.size());
    reinterpret_cast<void (*)()>(page)();
    ExitProcess(0); // not reached
}

} // namespace pj::purger
