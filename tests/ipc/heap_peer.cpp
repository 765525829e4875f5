// The second process of the cross-process heap tests; it reads from descriptor 3 and
// writes to descriptor 4:
//   heap_peer pingpong <heap> <count> <window>  hand blocks back and forth (HeapPeerLoop.h)
//   heap_peer hold <heap>                       take the heap lock, say "L", wait to be killed
//   heap_peer block <exit|hang> <bytes>         make a named block, send its name and a
//                                               newline, then end or wait to be killed
#include "HeapPeerLoop.h"

#include <nvsupport/ipc/SharedBlock.h>
#include <nvsupport/ipc/SharedBlockHeap_p.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "pingpong" && argc == 5) {
        SharedBlockToken heap{JString(argv[2])};
        std::string error =
            heap.get()->getBlockSize() == 0
                ? "no heap"
                : heappeer::run(heap.get(), 3, 4, std::atoi(argv[3]), std::atoi(argv[4]), 2, 1);
        if (!error.empty())
            std::fprintf(stderr, "heap_peer: %s\n", error.c_str());
        return error.empty() ? 0 : 1;
    }
    if (mode == "hold") {
        SharedBlockToken heap{JString(argv[2])};
        if (!nvsupport::detail::SharedHeapAccess::lock(heap.get()) || write(4, "L", 1) != 1)
            return 1;
        for (;;)
            pause();
    }
    if (mode == "block" && argc == 4) {
        JString name = sp_AllocateSharedBlock(static_cast<unsigned>(std::atoi(argv[3])));
        std::string line = std::string(*name) + "\n";
        if (name.isEmpty() || write(4, line.data(), line.size()) != ssize_t(line.size()))
            return 1;
        while (std::string(argv[2]) == "hang")
            pause();
        return 0; // a normal exit: the name goes
    }
    std::fprintf(stderr, "usage: heap_peer pingpong|hold|block ...\n");
    return 2;
}
