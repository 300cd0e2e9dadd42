// Runs a piece of a test on a thread of its own on which chosen system calls
// fail with a chosen errno (0: they return 0 without running), through a
// seccomp filter that binds that thread only. For faults that no input can
// provoke, such as a kernel without memfd_create or a failing mbind.
#pragma once

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>

#include <cstddef>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace qvtest {

struct SyscallFault {
    long number;
    int error;
};

// False when the filter could not be installed (body not run).
template <typename Body>
bool withSyscallFaults(std::vector<SyscallFault> faults, Body&& body) {
    bool installed = false;
    std::exception_ptr thrown;
    std::thread runner([&] {
        std::vector<sock_filter> program;
        program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
        program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
        for (const SyscallFault& fault : faults) {
            program.push_back(
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(fault.number), 0, 1));
            program.push_back(BPF_STMT(
                BPF_RET | BPF_K,
                SECCOMP_RET_ERRNO | (static_cast<uint32_t>(fault.error) & SECCOMP_RET_DATA)));
        }
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
        sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
            return;
        }
        installed = true;
        try {
            body();
        } catch (...) {
            thrown = std::current_exception();
        }
    });
    runner.join();
    if (thrown) std::rethrow_exception(thrown);
    return installed;
}

}  // namespace qvtest
