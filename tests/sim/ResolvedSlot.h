// Reads, from a loaded shared object's own relocations, the address the
// dynamic linker bound one of its symbol references to.
#pragma once

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>
#include <optional>

struct ResolvedSlot {
    bool weakUndefined = false;
    const void* target = nullptr;
};

// The data relocation of `symbol` in the object behind `handle`, if any.
inline std::optional<ResolvedSlot> resolvedSlot(void* handle, const char* symbol) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return std::nullopt;
    const auto base = static_cast<ElfW(Addr)>(map->l_addr);
    // The loader relocates these entries in place; be safe either way.
    auto address = [base](ElfW(Addr) value) { return value < base ? value + base : value; };
    const ElfW(Sym)* symbols = nullptr;
    const char* names = nullptr;
    const ElfW(Rela)* relocations = nullptr;
    size_t size = 0;
    for (const ElfW(Dyn)* entry = map->l_ld; entry->d_tag != DT_NULL; ++entry) {
        switch (entry->d_tag) {
            case DT_SYMTAB:
                symbols = reinterpret_cast<const ElfW(Sym)*>(address(entry->d_un.d_ptr));
                break;
            case DT_STRTAB:
                names = reinterpret_cast<const char*>(address(entry->d_un.d_ptr));
                break;
            case DT_RELA:
                relocations = reinterpret_cast<const ElfW(Rela)*>(address(entry->d_un.d_ptr));
                break;
            case DT_RELASZ:
                size = entry->d_un.d_val;
                break;
            default:
                break;
        }
    }
    if (symbols == nullptr || names == nullptr) return std::nullopt;
    // A reference whose address is taken is a GOT entry among the data relocations.
    for (size_t i = 0; relocations != nullptr && i < size / sizeof(ElfW(Rela)); ++i) {
        const ElfW(Rela)& relocation = relocations[i];
        if (ELF64_R_TYPE(relocation.r_info) != R_X86_64_GLOB_DAT) continue;
        const ElfW(Sym)& entry = symbols[ELF64_R_SYM(relocation.r_info)];
        if (std::strcmp(names + entry.st_name, symbol) != 0) continue;
        ResolvedSlot slot;
        slot.weakUndefined =
            ELF64_ST_BIND(entry.st_info) == STB_WEAK && entry.st_shndx == SHN_UNDEF;
        slot.target = *reinterpret_cast<void* const*>(base + relocation.r_offset);
        return slot;
    }
    return std::nullopt;
}
