#include "platform/resident_memory.h"

#include <elf.h>
#include <link.h>
#include <malloc.h>
#include <sys/auxv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace platform {
namespace {

// The loader wrote into the code of an object linked with text relocations:
// its read-only pages are private copies, and dropping them would undo that.
bool has_text_relocations(const dl_phdr_info& object) {
    for (int i = 0; i < object.dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = object.dlpi_phdr[i];
        if (header.p_type != PT_DYNAMIC) continue;
        const auto* entry = reinterpret_cast<const ElfW(Dyn)*>(object.dlpi_addr + header.p_vaddr);
        for (; entry->d_tag != DT_NULL; ++entry) {
            if (entry->d_tag == DT_TEXTREL) return true;
            if (entry->d_tag == DT_FLAGS && (entry->d_un.d_val & DF_TEXTREL) != 0) return true;
        }
    }
    return false;
}

bool debugger_attached() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("TracerPid:", 0) == 0) return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
    }
    return false;
}

}  // namespace

resident_memory::resident_memory() {
    const auto vdso = static_cast<ElfW(Addr)>(getauxval(AT_SYSINFO_EHDR));
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    struct context {
        ElfW(Addr) vdso;
        std::uintptr_t page;
        std::vector<range>* ranges;
    } noting{vdso, page, &read_only_};
    dl_iterate_phdr(
        [](dl_phdr_info* object, std::size_t, void* data) {
            const auto& noting = *static_cast<const context*>(data);
            // The kernel's own page is no file.
            if (noting.vdso != 0 && object->dlpi_addr == noting.vdso) return 0;
            if (has_text_relocations(*object)) return 0;
            for (int i = 0; i < object->dlpi_phnum; ++i) {
                const ElfW(Phdr)& header = object->dlpi_phdr[i];
                if (header.p_type != PT_LOAD || (header.p_flags & PF_W) != 0) continue;
                // Whole pages inside the segment only: an edge page may be
                // shared with a writable neighbour.
                const std::uintptr_t start = object->dlpi_addr + header.p_vaddr;
                const std::uintptr_t begin = (start + noting.page - 1) & ~(noting.page - 1);
                const std::uintptr_t end = (start + header.p_filesz) & ~(noting.page - 1);
                if (begin < end) noting.ranges->push_back({begin, end});
            }
            return 0;
        },
        &noting);
}

void resident_memory::release() const {
    if (debugger_attached()) return;
    malloc_trim(0);
    for (const range& pages : read_only_) {
        (void)madvise(reinterpret_cast<void*>(pages.begin), pages.end - pages.begin, MADV_DONTNEED);
    }
}

std::size_t resident_memory::noted_bytes() const {
    std::size_t bytes = 0;
    for (const range& pages : read_only_) bytes += pages.end - pages.begin;
    return bytes;
}

}  // namespace platform
